#include "platform/barrier.h"

#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vextrel::platform {

namespace {

int Membarrier(int command) { return static_cast<int>(syscall(SYS_membarrier, command, 0u, 0)); }

// The expedited barrier interrupts only the processors that run this process's threads, at a few
// microseconds a call; it must be registered for once per process (a forked child inherits it).
bool RegisterExpeditedBarrier() {
#if defined(VEXTREL_PLATFORM_THREAD_SANITIZER)
    return false;
#else
    const int supported = Membarrier(MEMBARRIER_CMD_QUERY);
    if (supported < 0 || (supported & MEMBARRIER_CMD_PRIVATE_EXPEDITED) == 0) return false;
    return Membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0;
#endif
}

}  // namespace

std::atomic<bool> detail::g_heavyBarrierReady{false};

namespace {
// Registered while the library loads, before a host thread can make a call that reads the flag.
const bool g_registered = [] {
    const bool registered = RegisterExpeditedBarrier();
    detail::g_heavyBarrierReady.store(registered, std::memory_order_release);
    return registered;
}();
}  // namespace

void HeavyBarrier() {
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (!g_registered || !detail::g_heavyBarrierReady.load(std::memory_order_acquire)) return;
    // The expedited barrier fails only when the registration was lost; the global one, much slower
    // but needing none, still gives the same guarantee then.
    if (Membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) != 0) Membarrier(MEMBARRIER_CMD_GLOBAL);
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

}  // namespace vextrel::platform
