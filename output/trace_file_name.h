// The name of a trace file: folder, base name, and a date stamp or a counter.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace vextrel {

constexpr uint32_t kTraceFilePathCapacity = 260;

// Builds the path of a trace file into `path`, cut to 259 characters: "folder/base.txt" when
// appending; otherwise "folder/base_YYYY_MM_DD_hh_mm_ss.txt" from `now`, or
// "folder/base_NNNNNNNNNN.txt" when the counter value is non-zero. Null texts count as empty.
void TraceFilePathFor(const char* folder, const char* baseName, bool append, uint32_t counterValue,
                      const platform::CalendarTime& now, char (&path)[kTraceFilePathCapacity]);

}  // namespace vextrel
