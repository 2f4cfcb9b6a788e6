// The message every case traces or logs, so that all of them format the same text.
#pragma once

#include <cstdint>

namespace vextrel::bench {

// printf form of the message, a literal so that format checks see it; its arguments are
// (int sequence, "mixer", 1.5 * sequence).
#define VEXTREL_BENCH_MESSAGE "value=%d name=%s elapsed=%.3f"
constexpr const char* kMessageName = "mixer";

inline int MessageValue(uint32_t sequence) { return static_cast<int>(sequence); }
inline double MessageElapsed(uint32_t sequence) { return 1.5 * static_cast<double>(sequence); }

}  // namespace vextrel::bench
