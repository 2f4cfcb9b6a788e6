#include "bench/floor_case.h"

#include <cstdarg>
#include <cstdio>

#include "bench/bench_message.h"
#include "platform/clock.h"

namespace vextrel::bench {
namespace {

// Per-thread results, so the compiler must produce both and threads share no cache line.
thread_local char t_buffer[512];
thread_local uint64_t t_timestamp;

}  // namespace

__attribute__((noinline)) void FloorFormat(const char* format, ...) {
    t_timestamp = platform::ReadCounter();
    va_list args;
    va_start(args, format);
    std::vsnprintf(t_buffer, sizeof t_buffer, format, args);
    va_end(args);
}

void FloorCall(uint32_t sequence) {
    FloorFormat(VEXTREL_BENCH_MESSAGE, MessageValue(sequence), kMessageName, MessageElapsed(sequence));
}

// Called only from other files, so that the compiler cannot drop the calls.
__attribute__((noinline)) void EmptyFormat(uint32_t, const char*, ...) {}

__attribute__((noinline)) bool EmptyFacilityOn(uint32_t facilityWord) { return facilityWord == 0; }

}  // namespace vextrel::bench
