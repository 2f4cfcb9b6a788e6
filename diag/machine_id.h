// The machine identifier: the operating system's machine GUID folded into 64 bits and written as
// four groups of four upper-case hexadecimal digits, for example 6044-079A-6A30-C000.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/machine_guid.h"

namespace vextrel {

// The machine GUID text: zero-filled, then as much of the GUID as the system gives (all zero bytes
// when it gives nothing).
using MachineGuidText = std::array<char, platform::kMachineGuidTextSize>;

// Reads the machine GUID into a fresh 37-byte text.
MachineGuidText ReadMachineGuid();

// Folds `text` into the identifier: every "-" removed, then chunks of `chunkLength` characters
// each folded as h = h * 0x1003F + (signed byte) in wrapping 64-bit arithmetic and written as 16
// upper-case hexadecimal digits, and "-" inserted every four digits counted from the end. For a
// 37-byte GUID text this is one chunk of its 32 hexadecimal digits.
std::string FoldMachineGuid(std::string_view text, size_t chunkLength = 32);

// The identifier of this machine, computed once per process on first use (safe when several
// threads ask first at the same moment) and never destroyed.
const std::string& MachineUUID();

// Frees the text MachineUUID made (the next call makes it again), for an unload while the process
// keeps running.
void ReleaseMachineUUID();

}  // namespace vextrel
