// Auto-reset events: one wait consumes one signal, signals do not queue, and a signal given while
// nobody waits lets the next wait return at once.
#pragma once

#include <cstdint>

namespace vextrel::platform {

struct EventHandle;  // opaque: a Win32 event handle, or a futex word on Linux

constexpr uint32_t kWaitForever = 0xFFFFFFFFu;

// Creates an unnamed, non-signalled auto-reset event; null when the system refuses.
EventHandle* CreateAutoResetEvent();

// Signals the event; a waiting thread (or the next one to wait) is released once.
void SignalEvent(EventHandle* event);

// Waits until the event is signalled or the timeout (milliseconds, kWaitForever for none) expires.
void WaitEvent(EventHandle* event, uint32_t timeoutMilliseconds);

// Releases the event. The caller guarantees no thread still waits on it.
void DestroyEvent(EventHandle* event);

}  // namespace vextrel::platform
