#include "platform/barrier.h"

#include <windows.h>

namespace vextrel::platform {

// FlushProcessWriteBuffers is there on every supported Windows version.
#if defined(VEXTREL_PLATFORM_THREAD_SANITIZER)
std::atomic<bool> detail::g_heavyBarrierReady{false};
#else
std::atomic<bool> detail::g_heavyBarrierReady{true};
#endif

void HeavyBarrier() {
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (!detail::g_heavyBarrierReady.load(std::memory_order_acquire)) return;
    FlushProcessWriteBuffers();
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

}  // namespace vextrel::platform
