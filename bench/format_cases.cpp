#include "bench/format_cases.h"

#include <cstdarg>
#include <cstdio>

#include "bench/bench_message.h"
#include "core/message_formatter.h"
#include "platform/clock.h"

namespace vextrel::bench {
namespace {

using FormatFunction = int (*)(char*, size_t, const char*, va_list);

// Per-thread results, so the compiler must produce both and threads share no cache line.
thread_local char t_buffer[512];
thread_local uint64_t t_timestamp;

// Formats into the thread's buffer with Format, after a counter reading when Stamp is set.
template <FormatFunction Format, bool Stamp>
__attribute__((noinline, format(printf, 1, 2))) void FormatInto(const char* format, ...) {
    if constexpr (Stamp) t_timestamp = platform::ReadCounter();
    va_list args;
    va_start(args, format);
    Format(t_buffer, sizeof t_buffer, format, args);
    va_end(args);
}

__attribute__((format(printf, 3, 0))) int Vsnprintf(char* out, size_t capacity, const char* format, va_list args) {
    return std::vsnprintf(out, capacity, format, args);
}

// Eight messages as hosts write them: integers of every width, text, hexadecimal with widths,
// pointers, characters, percent signs and the three float forms.
template <FormatFunction Format, bool Stamp>
void MixMessage(uint32_t sequence) {
    const int i = static_cast<int>(sequence);
    const double d = 1.5 * i + 0.25;
    switch (sequence % 8) {
        case 0: FormatInto<Format, Stamp>("frame %u took %.3f ms (%d dropped)", sequence, d, i % 7 - 3); break;
        case 1:
            FormatInto<Format, Stamp>("open %s: handle %016llX flags %#x", kMessageName,
                                      0x00007FF6A0000000ULL + sequence * 64ULL, i & 0x1FF);
            break;
        case 2: FormatInto<Format, Stamp>("bytes=%zu offset=%lld delta=%+ld", size_t{4096} * sequence, -1LL * i * i, i - 500L); break;
        case 3:
            FormatInto<Format, Stamp>("voice %hd note %c velocity %hhu%%", static_cast<short>(i), 'A' + i % 26,
                                      static_cast<unsigned char>(i));
            break;
        case 4: FormatInto<Format, Stamp>("gain %g dB, peak %e", d / 7, d * 1e-4); break;
        case 5: FormatInto<Format, Stamp>("id %08X/%4x state=%-8s|", sequence * 2654435761u, i & 0xFFF, "running"); break;
        case 6: FormatInto<Format, Stamp>("tick %llu, %i of %i, ratio %.3f", 1000000007ULL * sequence, i, 64, d / 64); break;
        default: FormatInto<Format, Stamp>("%s: %d", "status", -i); break;
    }
}

template <FormatFunction Format>
void BenchMessage(uint32_t sequence) {
    FormatInto<Format, false>(VEXTREL_BENCH_MESSAGE, MessageValue(sequence), kMessageName, MessageElapsed(sequence));
}

}  // namespace

void FloorMixCall(uint32_t sequence) { MixMessage<Vsnprintf, true>(sequence); }
void FormatterMixCall(uint32_t sequence) { MixMessage<FormatMessageText, true>(sequence); }
void VsnprintfMessageCall(uint32_t sequence) { BenchMessage<Vsnprintf>(sequence); }
void FormatterMessageCall(uint32_t sequence) { BenchMessage<FormatMessageText>(sequence); }
void VsnprintfMixCall(uint32_t sequence) { MixMessage<Vsnprintf, false>(sequence); }
void FormatterMixOnlyCall(uint32_t sequence) { MixMessage<FormatMessageText, false>(sequence); }

}  // namespace vextrel::bench
