// The time-stamp counter as a per-call stopwatch: fenced reads around the measured code and a
// calibration against the steady clock that turns counter ticks into nanoseconds.
#pragma once

#include <cstdint>

#include <x86intrin.h>

namespace vextrel::bench {

// Reads the counter after every earlier instruction has completed and before any later one starts:
// the opening mark of a timed region.
inline uint64_t CounterBegin() {
    _mm_lfence();
    const uint64_t ticks = __rdtsc();
    _mm_lfence();
    return ticks;
}

// Reads the counter once every instruction of the timed region has completed, and keeps later
// instructions from starting before the read: the closing mark of a timed region.
inline uint64_t CounterEnd() {
    unsigned int processor;
    const uint64_t ticks = __rdtscp(&processor);
    _mm_lfence();
    return ticks;
}

// Reads the counter without fences: for busy waits, where a few cycles of skew do not matter.
inline uint64_t CounterNow() { return __rdtsc(); }

// Counter ticks per nanosecond, measured against std::chrono::steady_clock over about 200 ms the
// first time it is asked for.
double TicksPerNanosecond();

// Spins until `nanoseconds` have passed on the counter, reading it without a system call.
void BusyWaitNanoseconds(uint64_t nanoseconds);

}  // namespace vextrel::bench
