// The floor of a trace call: what any tracer must do at the least on the calling thread.
#pragma once

#include <cstdint>

namespace vextrel::bench {

// Reads the library's performance counter and formats the message with vsnprintf into a 512-byte
// buffer of the calling thread; variadic like the trace entry points.
void FloorFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// One floor call with the benchmark message.
void FloorCall(uint32_t sequence);

}  // namespace vextrel::bench
