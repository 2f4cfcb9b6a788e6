#include "bench/idle_cost.h"

#include <chrono>
#include <ctime>
#include <thread>

#include "bench/vextrel_cases.h"
#include "bench/vextrel_session.h"

namespace vextrel::bench {

namespace {

// Process CPU time spent while this thread sleeps for `seconds`.
double CpuMillisecondsWhileSleeping(double seconds) {
    const std::clock_t before = std::clock();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const std::clock_t after = std::clock();
    return static_cast<double>(after - before) * 1000.0 / CLOCKS_PER_SEC;
}

}  // namespace

double MeasureIdleWriterCpuMilliseconds(const std::string& folder, double seconds) {
    VextrelSession session(folder, "vextrel_idle");
    // One record first, so the measurement includes whatever the writer does after a burst ends.
    AcceptedCall(0);
    session.WaitUntilDrained();
    return CpuMillisecondsWhileSleeping(seconds);
}

double MeasureIdleBaselineCpuMilliseconds(double seconds) { return CpuMillisecondsWhileSleeping(seconds); }

}  // namespace vextrel::bench
