#include "bench/cycle_clock.h"

#include <chrono>
#include <thread>

namespace vextrel::bench {
namespace {

double Calibrate() {
    using Clock = std::chrono::steady_clock;
    // Three rounds, keeping the last: the first rounds also warm up the clock paths.
    double ticksPerNanosecond = 1.0;
    for (int round = 0; round < 3; ++round) {
        const Clock::time_point startTime = Clock::now();
        const uint64_t startTicks = CounterBegin();
        std::this_thread::sleep_for(std::chrono::milliseconds(70));
        const uint64_t endTicks = CounterEnd();
        const Clock::time_point endTime = Clock::now();
        const double nanoseconds = std::chrono::duration<double, std::nano>(endTime - startTime).count();
        ticksPerNanosecond = static_cast<double>(endTicks - startTicks) / nanoseconds;
    }
    return ticksPerNanosecond;
}

}  // namespace

double TicksPerNanosecond() {
    static const double ticksPerNanosecond = Calibrate();
    return ticksPerNanosecond;
}

void BusyWaitNanoseconds(uint64_t nanoseconds) {
    const uint64_t until =
        CounterNow() + static_cast<uint64_t>(static_cast<double>(nanoseconds) * TicksPerNanosecond());
    while (CounterNow() < until) _mm_pause();
}

}  // namespace vextrel::bench
