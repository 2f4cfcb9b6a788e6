#include "platform/machine_guid.h"

#include <windows.h>

#include <cstring>

namespace vextrel::platform {

void ReadMachineGuidText(char (&text)[kMachineGuidTextSize]) {
    std::memset(text, 0, sizeof text);
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Cryptography", 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    DWORD size = sizeof text;
    const LONG result = RegQueryValueExA(key, "MachineGuid", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    // A value too long for the text leaves the buffer undefined: treat it as unreadable.
    if (result != ERROR_SUCCESS) std::memset(text, 0, sizeof text);
}

}  // namespace vextrel::platform
