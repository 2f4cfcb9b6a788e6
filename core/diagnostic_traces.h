// Stack traces and memory dumps queued as plain trace text through the same entry as plain text.
#pragma once

#include <cstdint>

namespace vextrel {

// Queues "Stacktrace:" and one quiet line per captured return address (entry 0, inside the capture,
// is skipped), with symbol names when the switch is on.
void TraceStackFrames(uint32_t facilityWord, void* const* frames, uint32_t count);

// Queues a hexadecimal dump of `length` bytes at `data`, 32 bytes a line, under `label`.
void TraceMemoryDump(uint32_t facilityWord, const char* label, const void* data, uint32_t length);

}  // namespace vextrel
