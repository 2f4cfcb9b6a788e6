#include "platform/clock.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "platform/crash.h"

namespace vextrel::platform {

uint64_t ReadCounter() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000ull + static_cast<uint64_t>(now.tv_nsec);
}

uint64_t CounterFrequency() { return 1000000000ull; }

namespace {

// A thread's first id request comes with its first record: the thread is prepared for the crash
// handler then, at no cost to later calls.
uint32_t FirstIdOfThread() {
    PrepareThreadForCrash();
    return static_cast<uint32_t>(syscall(SYS_gettid));
}

// Of the initial-exec model, as the thread cache is: every record reads it, and in the shared library
// the default model would cost a __tls_get_addr call per read.
constinit thread_local uint32_t t_threadId [[gnu::tls_model("initial-exec")]] = 0;

}  // namespace

constinit thread_local void* detail::t_threadCache [[gnu::tls_model("initial-exec")]] = nullptr;

namespace {

// A forked child's only thread keeps the forking thread's caches: its id belongs to the parent's
// thread, and so does the reader slot cached for it. It asks for both again. (Ids name a thread's
// reader slot, so two living threads must never share one.) Registered at load; the C library
// drops the handler when the library is unloaded.
[[maybe_unused]] const int g_forkHandler = pthread_atfork(nullptr, nullptr, [] {
    t_threadId = 0;
    detail::t_threadCache = nullptr;
});

}  // namespace

void WriteThreadCache(void* value) { detail::t_threadCache = value; }

void ReleaseThreadCache() {}

uint32_t CurrentThreadId() {
    uint32_t id = t_threadId;
    if (id == 0) [[unlikely]] {
        id = FirstIdOfThread();
        t_threadId = id;
    }
    return id;
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

void SleepMilliseconds(uint32_t milliseconds) {
    timespec delay{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&delay, &delay) != 0) {}
}

}  // namespace vextrel::platform

namespace vextrel::platform {
namespace {

CalendarTime FromTm(const tm& t) { return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec}; }

}  // namespace

CalendarTime LocalTime() {
    time_t now = time(nullptr);
    tm t{};
    localtime_r(&now, &t);
    return FromTm(t);
}

CalendarTime UtcTime() {
    time_t now = time(nullptr);
    tm t{};
    gmtime_r(&now, &t);
    return FromTm(t);
}

}  // namespace vextrel::platform
