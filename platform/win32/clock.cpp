#include "platform/clock.h"

#include <windows.h>

#include "platform/crash.h"

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

namespace {

// The calling thread's stack guarantee, read straight from its environment block (GuaranteedStackBytes
// of the x64 layout): the cheapest per-thread test of whether the thread was prepared for the crash
// handler, or has a guarantee of the host's own, which stays.
ULONG StackGuaranteeOfThread() {
    ULONG bytes;
    __asm__ volatile("movl %%gs:0x1748, %0" : "=r"(bytes));
    return bytes;
}

}  // namespace

uint32_t CurrentThreadId() {
    if (StackGuaranteeOfThread() == 0) PrepareThreadForCrash();
    return static_cast<uint32_t>(GetCurrentThreadId());
}

std::atomic<uint32_t> detail::g_threadCacheSlot{detail::kNoThreadCacheSlot};

void WriteThreadCache(void* value) {
    uint32_t slot = detail::g_threadCacheSlot.load(std::memory_order_acquire);
    if (slot == detail::kThreadCacheReleased) return;
    if (slot == detail::kNoThreadCacheSlot) {
        // Two threads may take a slot at once: the first one stored is kept, the other returned.
        const DWORD taken = TlsAlloc();
        if (taken == TLS_OUT_OF_INDEXES) return;  // none left: every thread reads null
        if (detail::g_threadCacheSlot.compare_exchange_strong(slot, taken, std::memory_order_acq_rel)) {
            slot = taken;
        } else {
            TlsFree(taken);
            if (slot == detail::kThreadCacheReleased) return;
        }
    }
    TlsSetValue(slot, value);
}

void ReleaseThreadCache() {
    const uint32_t slot = detail::g_threadCacheSlot.exchange(detail::kThreadCacheReleased, std::memory_order_acq_rel);
    if (slot != detail::kNoThreadCacheSlot && slot != detail::kThreadCacheReleased) TlsFree(slot);
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(GetCurrentProcessId()); }

void SleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace vextrel::platform

namespace vextrel::platform {
namespace {

CalendarTime FromSystemTime(const SYSTEMTIME& t) { return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond}; }

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
