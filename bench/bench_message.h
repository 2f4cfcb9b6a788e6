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

// The message mix: eight messages of the kinds hosts trace (integers of every width, strings with
// and without width, hexadecimal with widths, pointers as 16 hexadecimal digits, characters, a
// percent sign, fixed, general and exponent floating point), one per call in turn. CALL is a
// function-like macro taking the format and its arguments; the formats stay literals so that
// format checks see them.
constexpr uint32_t kMixSize = 8;
constexpr unsigned long long kMixPointer = 0x00007FF6A2C41230ull;

}  // namespace vextrel::bench

#define VEXTREL_BENCH_MIX(CALL, sequence)                                                                              \
    do {                                                                                                               \
        const uint32_t mixSequence_ = (sequence);                                                                      \
        const int mixValue_ = static_cast<int>(mixSequence_);                                                          \
        const double mixReal_ = 0.37 * mixValue_ + 1.0;                                                                \
        switch (mixSequence_ % ::vextrel::bench::kMixSize) {                                                           \
            case 0: CALL("frame %u of %llu: %d%% done", mixSequence_, 100000ull + mixSequence_, mixValue_ % 100);      \
                break;                                                                                                 \
            case 1:                                                                                                    \
                CALL("object %016llX state %c flags %08x", ::vextrel::bench::kMixPointer + mixSequence_,               \
                     'A' + mixValue_ % 26, mixSequence_ * 2654435761u);                                                \
                break;                                                                                                 \
            case 2:                                                                                                    \
                CALL("short %hd id %lld delta %+d", static_cast<short>(mixValue_), -1234567890123ll * mixValue_,       \
                     -mixValue_);                                                                                      \
                break;                                                                                                 \
            case 3: CALL("name=%s path=%-20s| mode %X", "mixer", "C:/Zelmar/data", mixSequence_ & 0xFFFFu); break;     \
            case 4: CALL("elapsed %.3f ms, ratio %g", mixReal_, mixReal_ / 7.0); break;                                \
            case 5: CALL("energy %e over %4x steps", mixReal_ * 1.0e-9, mixSequence_ & 0xFFFu); break;                 \
            case 6: CALL("%s: %5d items, %-6u free, %c", "pool", mixValue_ % 99999, mixSequence_ % 1000u, 'x'); break; \
            default:                                                                                                   \
                CALL("handle %016llX closed after %lld us", ::vextrel::bench::kMixPointer, 1000ll * mixValue_);        \
                break;                                                                                                 \
        }                                                                                                              \
    } while (false)
