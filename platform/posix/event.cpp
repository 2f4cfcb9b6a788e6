// Auto-reset event on a futex word: 1 = signalled, 0 = not signalled.
#include "platform/event.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <new>

namespace vextrel::platform {

struct EventHandle {
    std::atomic<uint32_t> signalled{0};
};

namespace {

long Futex(std::atomic<uint32_t>* word, int op, uint32_t value, const timespec* timeout) {
    return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), op | FUTEX_PRIVATE_FLAG, value, timeout, nullptr, 0);
}

uint64_t MonotonicNanoseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

}  // namespace

EventHandle* CreateAutoResetEvent() { return new (std::nothrow) EventHandle; }

void SignalEvent(EventHandle* event) {
    if (event->signalled.exchange(1, std::memory_order_acq_rel) == 0) {
        Futex(&event->signalled, FUTEX_WAKE, 1, nullptr);
    }
}

void WaitEvent(EventHandle* event, uint32_t timeoutMilliseconds) {
    // Kept in nanoseconds: a deadline in whole milliseconds could end the wait up to 1 ms early.
    const uint64_t deadline = MonotonicNanoseconds() + static_cast<uint64_t>(timeoutMilliseconds) * 1000000u;
    for (;;) {
        if (event->signalled.exchange(0, std::memory_order_acq_rel) == 1) return;
        if (timeoutMilliseconds == kWaitForever) {
            Futex(&event->signalled, FUTEX_WAIT, 0, nullptr);
            continue;
        }
        const uint64_t now = MonotonicNanoseconds();
        if (now >= deadline) return;
        const uint64_t left = deadline - now;
        timespec relative{static_cast<time_t>(left / 1000000000u), static_cast<long>(left % 1000000000u)};
        Futex(&event->signalled, FUTEX_WAIT, 0, &relative);
    }
}

void DestroyEvent(EventHandle* event) { delete event; }

}  // namespace vextrel::platform
