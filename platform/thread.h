// Operating-system threads.
#pragma once

#include <atomic>
#include <cstdint>

namespace vextrel::platform {

struct ThreadHandle;  // opaque: a Win32 thread (or the request for one), or a pthread with its running flag on Linux

// Starts a thread running `entry(argument)` at once, with the default stack size; null when the
// system refuses. `threadId` receives the operating system's id of the new thread.
ThreadHandle* StartThread(void (*entry)(void*), void* argument, uint32_t* threadId);

// Sets the thread's priority, given as a Win32 thread priority (-15 idle .. 15 time-critical; on
// Linux mapped to a nice value). Failures are ignored.
void SetThreadPriorityValue(ThreadHandle* thread, int priority);

// Whether the thread has not finished yet (GetExitCodeThread == STILL_ACTIVE).
bool ThreadStillActive(ThreadHandle* thread);

// Waits until a thread whose body has returned, or is returning without blocking, has left this
// library's code: it still runs a few of its instructions on the way out, and the library may be
// unloaded right after. Linux only; on Windows the thread's exit needs the loader lock that the
// unloading thread holds, so nothing is waited for there. Nothing for the calling thread itself.
void AwaitThreadExit(ThreadHandle* thread);

// Releases the handle. A thread that has finished its body is first waited for as AwaitThreadExit
// does; a still running thread, or the calling thread itself, goes on without an owner (Linux: it is
// noted for AwaitReleasedThreads).
void ReleaseThread(ThreadHandle* thread);

// Windows: a thread started while the library is being loaded cannot run before the system's
// loader lock is released, and an unload that came first would then wait for it in vain. Such
// threads are only noted and created by the first exported call; an unload before that drops the
// notes, and their owners find the threads finished. `inside` marks the calling thread as the one
// loading the library (DllMain). Nothing is held on Linux.
void SetInsideLibraryLoad(bool inside);
void ResumeHeldThreadsNow();
// Drops the threads still held; the caller is unloading the library.
void DiscardHeldThreads();

namespace detail {
inline std::atomic<bool> g_threadsHeld{false};
}  // namespace detail

// Resumes the held threads, if any: every exported call runs this first.
inline void ResumeHeldThreads() {
    if (detail::g_threadsHeld.load(std::memory_order_acquire)) ResumeHeldThreadsNow();
}

// Keeps this library's image loaded for the rest of the process: called when a thread may be left
// running in its code (a writer abandoned after the stop wait, or one that can block in a write to
// a pipe or device), so that unloading the library cannot pull the code from under it. Windows pins
// the module, also from inside the unload. Linux marks the image not to be deleted, which works only
// before an unload begins: inside it the loader has already decided to unmap the image (then
// nothing happens). A Linux image kept this way is not unloaded at all: the host's unload returns
// without running the library's unload, which runs at process exit instead.
void KeepLibraryLoaded();

// Whether the library's code stays mapped after an unload: always on Windows (see
// KeepLibraryLoaded), on Linux once KeepLibraryLoaded succeeded.
bool LibraryStaysLoaded();

// Whether the unload may wait for a thread still running in this library's code: on Linux (the
// writer threads never call into the loader); not on Windows, where a thread needs the loader lock
// that the unloading thread holds to end, and a client may need it too.
bool UnloadCanWaitForThreads();

// Waits until every thread that ReleaseThread let go while it was still running (a writer thread
// that freed itself) has left this library's code: the unload's last step before the code goes.
// Nothing on Windows.
void AwaitReleasedThreads();

// A counter of the calling thread's own, 0 on every thread until it writes one. On Windows it is a
// system TLS slot taken on first write: a C++ thread_local of the DLL's static run-time would leave
// memory behind on every host thread that touched it, once per load of the library.
uint32_t ReadThreadCounter();
void WriteThreadCounter(uint32_t value);

// Returns the counter's TLS slot at unload (the threads' values go with it); nothing on Linux.
void ReleaseThreadCounter();

// Lets the calling thread run only on the given processor (numbered from 0); false when the system
// refuses. Used by the benchmarks, so that the calls they compare run on the same processor.
bool PinCurrentThreadToProcessor(uint32_t processor);

}  // namespace vextrel::platform
