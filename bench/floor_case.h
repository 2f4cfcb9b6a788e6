// The floor of a trace call: what any tracer must do at the least on the calling thread.
#pragma once

#include <cstdint>

namespace vextrel::bench {

// Reads the library's performance counter and formats the message with vsnprintf into a 512-byte
// buffer of the calling thread; variadic like the trace entry points.
void FloorFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// One floor call with the benchmark message.
void FloorCall(uint32_t sequence);

// Functions of the shapes of VextrelFormat and VextrelFacilityOnFunc that return at once, out of
// line: timed in the same loop as the library's calls, they measure the loop, the argument set-up
// and the call around the library's own work.
void EmptyFormat(uint32_t facilityWord, const char* format, ...) __attribute__((format(printf, 2, 3)));
bool EmptyFacilityOn(uint32_t facilityWord);

}  // namespace vextrel::bench
