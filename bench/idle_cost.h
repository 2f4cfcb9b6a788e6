// What a started configuration costs while nobody traces.
#pragma once

#include <string>

namespace vextrel::bench {

// Process CPU time, in milliseconds, spent over `seconds` of wall time by a started configuration
// (trace file in `folder`) after one trace call, while the measuring thread sleeps.
double MeasureIdleWriterCpuMilliseconds(const std::string& folder, double seconds);

// The same measurement without any configuration: what the measuring itself costs.
double MeasureIdleBaselineCpuMilliseconds(double seconds);

}  // namespace vextrel::bench
