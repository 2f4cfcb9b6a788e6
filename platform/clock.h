// Time and identity of the calling thread and process.
#pragma once

#include <cstdint>

namespace vextrel::platform {

// Reads the high-resolution performance counter: QueryPerformanceCounter ticks on Windows,
// CLOCK_MONOTONIC nanoseconds on Linux.
uint64_t ReadCounter();

// Ticks per second of ReadCounter (10,000,000 under Wine; 1,000,000,000 on Linux).
uint64_t CounterFrequency();

// The operating system's id of the calling thread; cached per thread, so it costs no system call
// after the first use on a thread. That first use, which comes with a thread's first record, also
// prepares the thread for the crash handler (PrepareThreadForCrash).
uint32_t CurrentThreadId();

// The operating system's id of the current process.
uint32_t CurrentProcessId();

// Suspends the calling thread for at least the given number of milliseconds.
void SleepMilliseconds(uint32_t milliseconds);

}  // namespace vextrel::platform

namespace vextrel::platform {

// A calendar date and time of day (month 1-12, day 1-31).
struct CalendarTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The current local time (GetLocalTime / localtime_r).
CalendarTime LocalTime();

// The current UTC time (GetSystemTime / gmtime_r).
CalendarTime UtcTime();

}  // namespace vextrel::platform
