// Time and identity of the calling thread and process.
#pragma once

#include <atomic>
#include <cstdint>

namespace vextrel::platform {

// Reads the high-resolution performance counter: QueryPerformanceCounter ticks on Windows,
// CLOCK_MONOTONIC nanoseconds on Linux. Not the processor's time-stamp counter read directly, though
// it is cheaper: whether that counter runs at one rate on every processor, and goes on across a
// virtual machine's move to another host, is the kernel's call, and the kernel's clock follows it.
uint64_t ReadCounter();

// Ticks per second of ReadCounter (10,000,000 under Wine; 1,000,000,000 on Linux).
uint64_t CounterFrequency();

// The operating system's id of the calling thread; cached per thread, so it costs no system call
// after the first use on a thread. That first use, which comes with a thread's first record, also
// prepares the thread for the crash handler (PrepareThreadForCrash).
uint32_t CurrentThreadId();

// A pointer of the calling thread's own that a layer above keeps there (the reclamation guard keeps
// the thread's reader slot): null on every thread until it writes one, and again in a forked child.
// Reading it is one load from the thread's own block, with no call: on Linux a thread-local of the
// initial-exec model (a local-dynamic one would cost a __tls_get_addr call per read in the shared
// library); on Windows a system TLS slot read straight from the thread's environment block (a
// thread_local of the MinGW DLL would go through emulated TLS, a call and an allocation per
// thread). There a slot index above the first 64 reads null, and so does every thread after
// ReleaseThreadCache.
void* ReadThreadCache();
void WriteThreadCache(void* value);
// Returns the Windows TLS slot at unload (the threads' values go with it); nothing on Linux.
void ReleaseThreadCache();

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

namespace vextrel::platform {

namespace detail {
#ifdef _WIN32
// The TLS slot of ReadThreadCache; kNoThreadCacheSlot until the first write takes one, and
// kThreadCacheReleased once the unload gave it back.
constexpr uint32_t kNoThreadCacheSlot = 0xFFFFFFFFu;
constexpr uint32_t kThreadCacheReleased = 0xFFFFFFFEu;
extern std::atomic<uint32_t> g_threadCacheSlot;
#else
extern constinit thread_local void* t_threadCache [[gnu::tls_model("initial-exec")]];
#endif
}  // namespace detail

inline void* ReadThreadCache() {
#ifdef _WIN32
    // TlsGetValue reads the same word (the thread environment block's TlsSlots, at 0x1480 on x64)
    // but is a call that also clears the thread's last error.
    const uint64_t slot = detail::g_threadCacheSlot.load(std::memory_order_relaxed);
    if (slot >= 64) return nullptr;
    void* value;
    __asm__ volatile("movq %%gs:0x1480(,%1,8), %0" : "=r"(value) : "r"(slot));
    return value;
#else
    return detail::t_threadCache;
#endif
}

}  // namespace vextrel::platform
