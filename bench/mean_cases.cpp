#include "bench/mean_cases.h"

#include <benchmark/benchmark.h>

#include "bench/floor_case.h"
#include "bench/format_cases.h"
#include "bench/vextrel_cases.h"
#include "bench/vextrel_session.h"
#include "include/vextrel.h"

namespace vextrel::bench {
namespace {

// Runs one formatting case with a sequence number that changes the values each call.
template <void (*Call)(uint32_t)>
void Formatting(benchmark::State& state) {
    uint32_t sequence = 0;
    for (auto _ : state) Call(sequence++);
}

// Asks one facility check about the traced facility each call.
template <auto Check>
void FacilityCheck(benchmark::State& state) {
    const uint32_t word = VXF_WORD(kTracedFacility, VXP_NORMAL);
    for (auto _ : state) {
        auto on = Check(word);
        benchmark::DoNotOptimize(on);
    }
}

// Keeps the median of each case's repetitions (or its only run) and prints nothing. The figure is
// the calling thread's CPU time per call: on a shared machine the wall time of a run of calls also
// counts the time other processes held the processor.
class CollectingReporter final : public benchmark::BenchmarkReporter {
public:
    explicit CollectingReporter(std::vector<MeanResult>& results) : results_(results) {}
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (single || median) results_.push_back({run.run_name.function_name, run.GetAdjustedCPUTime()});
        }
    }

private:
    std::vector<MeanResult>& results_;
};

}  // namespace

std::vector<MeanResult> RunMeanCases(const std::string& folder, bool smoke) {
    VextrelSession session(folder, "vextrel_mean");
    const struct {
        const char* name;
        void (*function)(benchmark::State&);
    } cases[] = {
        // The loops of the first two around functions of the same shapes that return at once.
        {"filtered-out VextrelFormat", Formatting<FilteredOutCall>},
        {"VextrelFacilityOnFunc", FacilityCheck<VextrelFacilityOnFunc>},
        {kEmptyFormatCase, Formatting<EmptyFormatCall>},
        {kEmptyFacilityOnCase, FacilityCheck<EmptyFacilityOn>},
        {"floor (counter + vsnprintf)", Formatting<FloorCall>},
        {kFloorMixCase, Formatting<FloorMixCall>},
        {kFormatterMixCase, Formatting<FormatterMixCall>},
        {kVsnprintfMessageCase, Formatting<VsnprintfMessageCall>},
        {kFormatterMessageCase, Formatting<FormatterMessageCall>},
        {kVsnprintfMixCase, Formatting<VsnprintfMixCall>},
        {kFormatterMixOnlyCase, Formatting<FormatterMixOnlyCall>},
    };
    for (const auto& c : cases) {
        benchmark::internal::Benchmark* bench = benchmark::RegisterBenchmark(c.name, c.function);
        bench->Unit(benchmark::kNanosecond);
        if (smoke) {
            bench->Iterations(10);
        } else {
            bench->MinTime(0.2)->Repetitions(5)->ReportAggregatesOnly(true);
        }
    }
    int argc = 1;
    char program[] = "bench_vextrel";
    char* argv[] = {program, nullptr};
    benchmark::Initialize(&argc, argv);
    std::vector<MeanResult> results;
    CollectingReporter reporter(results);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::ClearRegisteredBenchmarks();
    return results;
}

}  // namespace vextrel::bench
