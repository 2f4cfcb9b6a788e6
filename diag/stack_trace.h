// VextrelStack: a stack trace of the calling thread, queued as plain trace text.
#pragma once

#include <cstdint>

namespace vextrel {

// How many return addresses a stack trace asks for (at most 62 are captured).
constexpr uint32_t kStackFrameCapacity = 100;

// Queues one frame line, quiet, for every configuration of the current manager that accepts the
// facility word, with the given timestamp; nothing when no manager is published or the facility id
// is 20480 or more.
void QueueStackLine(uint32_t facilityWord, uint64_t timestamp, const char* line);

}  // namespace vextrel
