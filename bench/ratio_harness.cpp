// bench_ratios: the trace call's ratios to its floor without Google Benchmark, so that the Windows
// build can be measured too (run under Wine by `bench/run.sh --wine`). It prints one table: p50 and
// p99 of the accepted call and of the message mix against their floors (1 thread, paced and in
// bursts), the mean cost of a filtered-out call and of VextrelFacilityOnFunc, and the writer's
// lines per second against fwrite + fflush. Figures under Wine are informative: its clocks and
// events are not Windows', but a regression of the Windows build shows in the ratios.
//
//   bench_ratios [--smoke]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/cycle_clock.h"
#include "bench/latency_subject.h"
#include "bench/results_table.h"
#include "bench/vextrel_cases.h"
#include "bench/vextrel_session.h"
#include "bench/writer_throughput.h"

namespace vextrel::bench {
namespace {

// Mean nanoseconds per call of `call`, the median over `batches` batches of `calls` calls.
double MedianMeanNanoseconds(CallFunction call, uint32_t batches, uint32_t calls) {
    std::vector<double> means;
    for (uint32_t batch = 0; batch < batches; ++batch) {
        const auto start = std::chrono::steady_clock::now();
        for (uint32_t i = 0; i < calls; ++i) call(i);
        const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
        means.push_back(elapsed.count() / calls);
    }
    std::sort(means.begin(), means.end());
    return means[means.size() / 2];
}

// The p50 and p99 of `subject` under `load`, its output prepared in `folder` and torn down after.
Distribution Measure(const LatencySubject& subject, const LatencyLoad& load, uint32_t calls,
                     const std::string& folder) {
    if (subject.begin != nullptr) subject.begin(folder);
    LatencySamples samples;
    const uint32_t rounds = 10;
    for (uint32_t round = 0; round < rounds; ++round) {
        MeasureLatency(subject.call, load, calls / rounds, load.burst != 0 ? 200 : 100, subject.settle, samples);
        if (subject.settle != nullptr) subject.settle();
    }
    if (subject.end != nullptr) subject.end(calls);
    return Summarize(samples);
}

void PrintRatioRow(const char* what, const Distribution& mine, const Distribution& floor) {
    std::printf("| %s | %.0f vs %.0f | %.2f | %.0f vs %.0f | %.2f |\n", what, mine.p50, floor.p50, mine.p50 / floor.p50,
                mine.p99, floor.p99, mine.p99 / floor.p99);
}

int Run(bool smoke) {
    const std::string root = (std::filesystem::temp_directory_path() / "vextrel-bench-ratios").string();
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    EnsureCounterFrequency();
    const uint32_t calls = smoke ? 100 : 20000;
    std::printf("| load | VextrelFormat vs floor p50 (ns) | ratio | p99 (ns) | ratio |\n|---|---:|---:|---:|---:|\n");
    const LatencyLoad loads[] = {{1, false, 2000}, {1, true, 0}};
    for (const LatencyLoad& load : loads) {
        const std::string name = LoadName(load);
        PrintRatioRow(name.c_str(), Measure(VextrelSubject(), load, calls, root),
                      Measure(FloorSubject(), load, calls, root));
        PrintRatioRow((name + ", message mix").c_str(), Measure(VextrelMixSubject(), load, calls, root),
                      Measure(FloorMixSubject(), load, calls, root));
    }
    {
        VextrelSession session(root, "vextrel_mean");
        const uint32_t batches = smoke ? 3 : 21;
        const uint32_t batchCalls = smoke ? 100 : 200000;
        std::printf("\n| call | mean ns |\n|---|---:|\n");
        std::printf("| filtered-out VextrelFormat | %.2f |\n",
                    MedianMeanNanoseconds(FilteredOutCall, batches, batchCalls));
        std::printf("| VextrelFacilityOnFunc | %.2f |\n", MedianMeanNanoseconds(FacilityOnCall, batches, batchCalls));
    }
    const WriterComparison writer = MeasureWriterThroughput(root, smoke ? 1 : 10, smoke ? 100 : 4093, -1);
    std::printf("\n| writer | lines/s |\n|---|---:|\n| Vextrel writer | %.0f |\n| fwrite + fflush floor | %.0f |\n",
                writer.writer.linesPerSecond, writer.floor.linesPerSecond);
    std::printf("| ratio | %.2f |\n",
                writer.floor.linesPerSecond > 0 ? writer.writer.linesPerSecond / writer.floor.linesPerSecond : 0);
    std::filesystem::remove_all(root);
    return 0;
}

}  // namespace
}  // namespace vextrel::bench

int main(int argc, char** argv) {
    const bool smoke = argc > 1 && std::strcmp(argv[1], "--smoke") == 0;
    return vextrel::bench::Run(smoke);
}
