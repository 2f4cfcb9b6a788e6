// Claiming a trace file name no other file had, so that no earlier trace is truncated.
#pragma once

#include <cstdint>

#include "output/trace_file_name.h"

namespace vextrel {

// The highest number a taken date-stamped name is retried with.
constexpr uint32_t kMaxTraceFileSuffix = 9999;

// Makes `path` the name of a trace file that no other file had, created empty and exclusively, so
// that an earlier trace is never truncated and two processes racing for one name each get a file:
// the path itself when it is free, else "<stem>_1.txt", "<stem>_2.txt", ... (numbers up to
// `maxSuffix`). False, with `path` unchanged, when every name is taken or a file cannot be created
// there for another reason than the name being taken.
bool ClaimUnusedTracePath(char (&path)[kTraceFilePathCapacity], uint32_t maxSuffix = kMaxTraceFileSuffix);

}  // namespace vextrel
