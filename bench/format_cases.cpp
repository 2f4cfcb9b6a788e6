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

// The message mix (bench_message.h), formatted with Format.
template <FormatFunction Format, bool Stamp>
void MixMessage(uint32_t sequence) {
    VEXTREL_BENCH_MIX((FormatInto<Format, Stamp>), sequence);
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
