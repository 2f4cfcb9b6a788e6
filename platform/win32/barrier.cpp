#include "platform/barrier.h"

#include <windows.h>

namespace vextrel::platform {

namespace {

// How HeavyBarrier reaches the other threads.
enum class BarrierKind { kNone, kFlushWriteBuffers, kProtectionChange };

// FlushProcessWriteBuffers is there on every supported Windows version. Wine's (up to its 8.0
// release at least) returns without any barrier; its ntdll is told apart by its wine_get_version
// export. There the barrier is made as the system's own call makes it: see ProtectionChangeBarrier.
BarrierKind ChooseBarrier() {
#if defined(VEXTREL_PLATFORM_THREAD_SANITIZER)
    return BarrierKind::kNone;
#else
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) return BarrierKind::kNone;
    if (GetProcAddress(ntdll, "wine_get_version") == nullptr) return BarrierKind::kFlushWriteBuffers;
    return BarrierKind::kProtectionChange;
#endif
}

// The page whose write access ProtectionChangeBarrier takes away: a page of the library's own image,
// alone on it, so that it lives exactly as long as the code that uses it (a writer thread that
// outlives an unload keeps the image loaded). The lock keeps two barriers from changing it at once
// (the rare side of a handshake may wait).
alignas(4096) char g_barrierPage[4096];
SRWLOCK g_barrierPageLock = SRWLOCK_INIT;

// A page this thread has just written loses its access: the system must drop it from the address
// cache of every processor that runs a thread of the process, and does so by interrupting each of
// them. An interrupted thread passes a full barrier; a thread that is not running passed one when it
// was switched out. Under Wine the change is the host kernel's, which works this way.
void ProtectionChangeBarrier() {
    AcquireSRWLockExclusive(&g_barrierPageLock);
    DWORD previous = 0;
    if (VirtualProtect(g_barrierPage, 1, PAGE_READWRITE, &previous)) {
        // Written through a volatile access, so that the store is made here, between the two changes.
        *static_cast<volatile char*>(g_barrierPage) = 1;
        VirtualProtect(g_barrierPage, 1, PAGE_NOACCESS, &previous);
    }
    ReleaseSRWLockExclusive(&g_barrierPageLock);
}

}  // namespace

std::atomic<bool> detail::g_heavyBarrierReady{false};

namespace {
// Decided while the library loads, before a host thread can make a call that reads the flag.
const BarrierKind g_barrierKind = [] {
    BarrierKind kind = ChooseBarrier();
    DWORD previous = 0;
    if (kind == BarrierKind::kProtectionChange && !VirtualProtect(g_barrierPage, 1, PAGE_NOACCESS, &previous)) {
        kind = BarrierKind::kNone;
    }
    detail::g_heavyBarrierReady.store(kind != BarrierKind::kNone, std::memory_order_release);
    return kind;
}();
}  // namespace

void HeavyBarrier() {
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (g_barrierKind == BarrierKind::kNone || !detail::g_heavyBarrierReady.load(std::memory_order_acquire)) return;
    if (g_barrierKind == BarrierKind::kFlushWriteBuffers) {
        FlushProcessWriteBuffers();
    } else {
        ProtectionChangeBarrier();
    }
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

}  // namespace vextrel::platform
