#include "platform/machine_guid.h"

#include <cstdio>
#include <cstring>

namespace vextrel::platform {
namespace {

// Reads at most 36 characters of the file's first line into the zero-filled text; the line break
// is not kept, so the text holds the 32 hexadecimal characters followed by zero bytes, as a
// registry GUID is followed by its terminator. False when the file yields nothing (an empty
// machine-id marks a system whose id is not set up yet).
bool ReadIdFile(const char* path, char (&text)[kMachineGuidTextSize]) {
    std::memset(text, 0, sizeof text);
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) return false;
    const size_t length = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    text[sizeof text - 1] = '\0';
    const size_t lineLength = std::strcspn(text, "\r\n");
    std::memset(text + lineLength, 0, sizeof text - lineLength);
    return length > 0 && lineLength > 0;
}

}  // namespace

void ReadMachineGuidText(char (&text)[kMachineGuidTextSize]) {
    if (ReadIdFile("/etc/machine-id", text)) return;
    if (ReadIdFile("/var/lib/dbus/machine-id", text)) return;
    std::memset(text, 0, sizeof text);
}

}  // namespace vextrel::platform
