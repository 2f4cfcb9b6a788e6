#include "platform/barrier.h"

#include <windows.h>

namespace vextrel::platform {

namespace {

// FlushProcessWriteBuffers is there on every supported Windows version. Wine's (up to its 8.0
// release at least) returns without any barrier; its ntdll is told apart by its wine_get_version
// export, and there the handshakes keep their sequentially consistent operations.
bool FlushMakesABarrier() {
#if defined(VEXTREL_PLATFORM_THREAD_SANITIZER)
    return false;
#else
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") == nullptr;
#endif
}

}  // namespace

std::atomic<bool> detail::g_heavyBarrierReady{false};

namespace {
// Decided while the library loads, before a host thread can make a call that reads the flag.
const bool g_flushMakesABarrier = [] {
    const bool ready = FlushMakesABarrier();
    detail::g_heavyBarrierReady.store(ready, std::memory_order_release);
    return ready;
}();
}  // namespace

void HeavyBarrier() {
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (!g_flushMakesABarrier || !detail::g_heavyBarrierReady.load(std::memory_order_acquire)) return;
    FlushProcessWriteBuffers();
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

}  // namespace vextrel::platform
