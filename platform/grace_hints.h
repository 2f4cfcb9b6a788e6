// Hints that tell the thread sanitizer about the one ordering it cannot see: a withdrawn manager is
// freed only after a grace period that every trace call still reading it has ended within. In
// every other build they compile to nothing.
#pragma once

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VEXTREL_GRACE_HINTS 1
#endif
#endif

#ifdef VEXTREL_GRACE_HINTS
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace vextrel::platform {

#ifdef VEXTREL_GRACE_HINTS
inline char g_graceHintAnchor;
// Marks the end of a trace call's reads of the manager it found published.
inline void HintTraceCallEnded() { __tsan_release(&g_graceHintAnchor); }
// Marks the end of a grace period: every trace call that could read the withdrawn manager ended.
inline void HintGracePeriodOver() { __tsan_acquire(&g_graceHintAnchor); }
#else
// Marks the end of a trace call's reads of the manager it found published.
inline void HintTraceCallEnded() {}
// Marks the end of a grace period: every trace call that could read the withdrawn manager ended.
inline void HintGracePeriodOver() {}
#endif

}  // namespace vextrel::platform
