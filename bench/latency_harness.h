// The per-call latency harness: times every call individually with the fenced counter on one or
// more threads that start together, and reduces the samples to percentiles.
#pragma once

#include <cstdint>
#include <vector>

namespace vextrel::bench {

// The pause between two calls of a paced load, spent busy-waiting outside the timed region.
constexpr uint64_t kPacingNanoseconds = 5000;

// One call of the measured code; `sequence` counts the calls of the calling thread from 0.
using CallFunction = void (*)(uint32_t sequence);

// How the calls are made: on how many threads at once, flat out or paced, and sustained or in
// bursts. Between two bursts every thread stops and the subject's output takes everything queued,
// untimed; a burst that fits the subject's queue times only calls the queue accepts.
struct LatencyLoad {
    uint32_t threads = 1;
    bool paced = false;
    uint32_t burst = 0;  // calls per thread between two pauses; 0 = sustained
};

// Percentiles of the per-call times of all threads together, in nanoseconds.
struct Distribution {
    double p50 = 0;
    double p99 = 0;
    double p999 = 0;
    uint64_t samples = 0;
    // Times the operating system took a calling thread off its processor against its will during
    // the timed calls (Linux's nonvoluntary context switches), summed over the threads: a tail far
    // above the call's cost with many of these is the scheduler's, not the call's.
    uint64_t preemptions = 0;
};

// Waits, untimed, until the subject's output has taken every queued message.
using SettleFunction = void (*)();

// The per-call times of one subject under one load, in counter ticks, gathered over one or more
// rounds, with the preemptions of the calling threads meanwhile.
struct LatencySamples {
    std::vector<uint64_t> ticks;
    uint64_t preemptions = 0;
};

// Runs `warmupCalls` untimed and then `timedCalls` timed calls of `call` on each thread of the
// load, every thread starting its timed calls at the same moment, and appends the times to
// `samples`. The times are collected into arrays allocated before the first call, and nothing is
// subtracted from them. Bursty loads call `settle` (when given) on one thread while the others
// wait, after the warm-up and after each burst.
void MeasureLatency(CallFunction call, const LatencyLoad& load, uint32_t timedCalls, uint32_t warmupCalls,
                    SettleFunction settle, LatencySamples& samples);

// The percentiles of the samples in nanoseconds (the samples are reordered).
Distribution Summarize(LatencySamples& samples);

// Pins the calling threads of every later measurement: thread t runs only on processor
// (first - t) modulo the processor count. Processors of a virtual machine can differ in speed, so
// the subjects compared in a ratio must run on the same ones.
void PinCallingThreads(uint32_t firstProcessor);

// The cost of the stopwatch itself: the distribution of timing an empty call on one thread.
Distribution MeasureTimerOverhead(uint32_t timedCalls);

}  // namespace vextrel::bench
