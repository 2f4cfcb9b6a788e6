// Asymmetric memory barriers: a free barrier for the frequent side of a handshake and an expensive one
// for its rare side.
//
// Two threads that each store one flag and then load the other's (a trace call commits a record and
// then looks whether the writer sleeps; the writer marks itself sleeping and then looks for a record)
// need a full barrier between the store and the load on both sides, or both may miss the other's
// store. HeavyBarrier lets the frequent side drop its barrier: it makes every other thread of the
// process pass a full barrier before it returns. Whatever a thread did before that point (in program
// order) is then visible to the caller's later loads, and whatever it does after that point sees
// what the caller stored before the call. The frequent side needs only LightBarrier, which keeps the
// compiler from moving its store past its load.
//
// Where the system has no such call, and under ThreadSanitizer (which cannot see a barrier made in
// the kernel), HeavyBarrierAvailable is false: both sides then keep sequentially consistent
// operations, and HeavyBarrier is an ordinary full barrier.
#pragma once

#include <atomic>

#if defined(__SANITIZE_THREAD__)
#define VEXTREL_PLATFORM_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VEXTREL_PLATFORM_THREAD_SANITIZER 1
#endif
#endif

namespace vextrel::platform {

namespace detail {
// Set once, while the library is loaded, when the system's process-wide barrier is ready for use.
extern std::atomic<bool> g_heavyBarrierReady;
}  // namespace detail

// Whether HeavyBarrier makes every thread of the process pass a full barrier, so that the frequent
// side of a handshake may use LightBarrier. Fixed from the library's load on; a caller that reads
// false keeps sequentially consistent operations, which are correct either way.
inline bool HeavyBarrierAvailable() {
#if defined(VEXTREL_PLATFORM_THREAD_SANITIZER)
    return false;
#else
    return detail::g_heavyBarrierReady.load(std::memory_order_relaxed);
#endif
}

// The frequent side's barrier: orders the calling thread's own accesses for the compiler only.
inline void LightBarrier() { std::atomic_signal_fence(std::memory_order_seq_cst); }

// The rare side's barrier: a full barrier on the calling thread and, when HeavyBarrierAvailable, on
// every other thread of the process before it returns (a system call that interrupts the running
// ones, some microseconds).
void HeavyBarrier();

}  // namespace vextrel::platform
