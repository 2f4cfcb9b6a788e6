#include "platform/clock.h"

#include <windows.h>

namespace vextrel::platform {

uint64_t ReadCounter() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<uint64_t>(now.QuadPart);
}

uint64_t CounterFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<uint64_t>(frequency.QuadPart);
}

uint32_t CurrentThreadId() { return static_cast<uint32_t>(GetCurrentThreadId()); }

uint32_t CurrentProcessId() { return static_cast<uint32_t>(GetCurrentProcessId()); }

void SleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace vextrel::platform

namespace vextrel::platform {
namespace {

CalendarTime FromSystemTime(const SYSTEMTIME& t) {
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace

CalendarTime LocalTime() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return FromSystemTime(t);
}

CalendarTime UtcTime() {
    SYSTEMTIME t;
    GetSystemTime(&t);
    return FromSystemTime(t);
}

}  // namespace vextrel::platform
