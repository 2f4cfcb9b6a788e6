// The process name: the base of trace file names and of the retention search.
#pragma once

#include <cstddef>

namespace vextrel {

constexpr size_t kProcessNameCapacity = 260;

// Writes the process name for an executable file name: its characters up to, not including, the
// first "." (all of them when there is none), every blank replaced by "_". Cut to fit the 260-byte
// buffer.
void ProcessNameOf(const char* executableFileName, char (&processName)[kProcessNameCapacity]);

}  // namespace vextrel
