// Mean cost per call, with Google Benchmark, of the calls too cheap for the per-call stopwatch.
#pragma once

#include <string>
#include <vector>

namespace vextrel::bench {

struct MeanResult {
    std::string name;
    double nanoseconds = 0;  // median over the repetitions of the mean time per call
};

// The loops of the filtered-out call and of VextrelFacilityOnFunc around empty functions of the
// same shapes: subtracted from those two, they leave the library's own cost.
constexpr const char* kEmptyFormatCase = "bench loop, empty call shaped like VextrelFormat";
constexpr const char* kEmptyFacilityOnCase = "bench loop, empty call shaped like VextrelFacilityOnFunc";

// Runs the filtered-out call, VextrelFacilityOnFunc, the floor and the formatter's cases under Google Benchmark against
// a running configuration whose trace file lives in `folder`; `smoke` runs each a few iterations.
std::vector<MeanResult> RunMeanCases(const std::string& folder, bool smoke);

}  // namespace vextrel::bench
