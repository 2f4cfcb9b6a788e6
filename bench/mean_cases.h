// Mean cost per call, with Google Benchmark, of the calls too cheap for the per-call stopwatch.
#pragma once

#include <string>
#include <vector>

namespace vextrel::bench {

struct MeanResult {
    std::string name;
    double nanoseconds = 0;  // median over the repetitions of the mean time per call
};

// Runs the filtered-out call, VextrelFacilityOnFunc, the floor and the formatter's cases under Google Benchmark against
// a running configuration whose trace file lives in `folder`; `smoke` runs each a few iterations.
std::vector<MeanResult> RunMeanCases(const std::string& folder, bool smoke);

}  // namespace vextrel::bench
