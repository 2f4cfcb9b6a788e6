// The machine's GUID as the operating system keeps it.
#pragma once

#include <cstddef>

namespace vextrel::platform {

// Size of the machine GUID text: 36 characters of a GUID in its usual form plus the terminator.
constexpr size_t kMachineGuidTextSize = 37;

// Fills `text` with zero bytes, then reads the machine GUID into it: the registry value
// HKLM\SOFTWARE\Microsoft\Cryptography\MachineGuid in the 64-bit view on Windows; on Linux
// /etc/machine-id, else /var/lib/dbus/machine-id (32 hexadecimal characters, read up to the first
// line break). All zero bytes when nothing can be read.
void ReadMachineGuidText(char (&text)[kMachineGuidTextSize]);

}  // namespace vextrel::platform
