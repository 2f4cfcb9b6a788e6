#include "bench/latency_harness.h"

#include <algorithm>
#include <atomic>
#include <barrier>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/cycle_clock.h"
#include "platform/thread.h"

namespace vextrel::bench {
namespace {

// The calling thread's count of nonvoluntary context switches, or 0 where the system does not tell.
uint64_t Preemptions() {
    std::ifstream status("/proc/thread-self/status");
    std::string line;
    const std::string key = "nonvoluntary_ctxt_switches:";
    while (std::getline(status, line)) {
        if (line.compare(0, key.size(), key) == 0) return std::stoull(line.substr(key.size()));
    }
    return 0;
}

// What the threads of one measurement share.
struct Run {
    CallFunction call;
    SettleFunction settle;
    LatencyLoad load;
    uint32_t warmupCalls;
    std::barrier<> barrier;
    std::atomic<uint64_t> preemptions{0};
};

// Every thread stops here; one of them lets the subject's output catch up, then all go on together.
void Pause(Run& run, bool first) {
    run.barrier.arrive_and_wait();
    if (first && run.settle != nullptr) run.settle();
    run.barrier.arrive_and_wait();
}

constexpr uint32_t kUnpinned = 0xFFFFFFFFu;
uint32_t g_firstProcessor = kUnpinned;

void PinThread(uint32_t index) {
    if (g_firstProcessor == kUnpinned) return;
    const uint32_t count = std::max(1u, std::thread::hardware_concurrency());
    platform::PinCurrentThreadToProcessor((g_firstProcessor + count - index % count) % count);
}

// Calls `call` on this thread and writes the ticks of each timed call into `samples`.
void TimeCalls(Run& run, uint32_t index, std::vector<uint64_t>& samples) {
    PinThread(index);
    const bool first = index == 0;
    const uint64_t pacingTicks = static_cast<uint64_t>(static_cast<double>(kPacingNanoseconds) * TicksPerNanosecond());
    const size_t burst = run.load.burst != 0 ? run.load.burst : samples.size();
    uint32_t sequence = 0;
    for (; sequence < run.warmupCalls; ++sequence) run.call(sequence);
    // Every thread starts timing at the same moment.
    Pause(run, first);
    const uint64_t preemptionsBefore = Preemptions();
    for (size_t done = 0; done < samples.size();) {
        const size_t end = std::min(samples.size(), done + burst);
        for (; done < end; ++done) {
            if (run.load.paced) {
                const uint64_t until = CounterNow() + pacingTicks;
                while (CounterNow() < until) _mm_pause();
            }
            const uint64_t begin = CounterBegin();
            run.call(sequence);
            samples[done] = CounterEnd() - begin;
            ++sequence;
        }
        if (run.load.burst != 0) Pause(run, first);
    }
    run.preemptions.fetch_add(Preemptions() - preemptionsBefore);
}

void EmptyCall(uint32_t) {}

double Percentile(std::vector<uint64_t>& samples, double fraction) {
    const size_t index =
        std::min(samples.size() - 1, static_cast<size_t>(fraction * static_cast<double>(samples.size())));
    std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(index), samples.end());
    return static_cast<double>(samples[index]) / TicksPerNanosecond();
}

}  // namespace

void MeasureLatency(CallFunction call, const LatencyLoad& load, uint32_t timedCalls, uint32_t warmupCalls,
                    SettleFunction settle, LatencySamples& samples) {
    TicksPerNanosecond();  // calibrate before any thread starts
    std::vector<std::vector<uint64_t>> perThread(load.threads, std::vector<uint64_t>(timedCalls));
    Run run{call, settle, load, warmupCalls, std::barrier<>(static_cast<std::ptrdiff_t>(load.threads)), {}};
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < load.threads; ++t) {
        threads.emplace_back(TimeCalls, std::ref(run), t, std::ref(perThread[t]));
    }
    for (std::thread& thread : threads) thread.join();
    for (const std::vector<uint64_t>& times : perThread)
        samples.ticks.insert(samples.ticks.end(), times.begin(), times.end());
    samples.preemptions += run.preemptions.load();
}

Distribution Summarize(LatencySamples& samples) {
    Distribution result;
    result.samples = samples.ticks.size();
    result.preemptions = samples.preemptions;
    if (samples.ticks.empty()) return result;
    result.p50 = Percentile(samples.ticks, 0.50);
    result.p99 = Percentile(samples.ticks, 0.99);
    result.p999 = Percentile(samples.ticks, 0.999);
    return result;
}

void PinCallingThreads(uint32_t firstProcessor) { g_firstProcessor = firstProcessor; }

Distribution MeasureTimerOverhead(uint32_t timedCalls) {
    LatencySamples samples;
    MeasureLatency(EmptyCall, LatencyLoad{1, false, 0}, timedCalls, 1000, nullptr, samples);
    return Summarize(samples);
}

}  // namespace vextrel::bench
