// XThreads_RawThread: a thin owner of one operating-system thread.
#pragma once

#include <cstdint>

#include "platform/thread.h"

namespace vextrel {

// A thin owner of one operating-system thread whose body is the virtual Run. The destructor does
// not stop, join or wait for the thread.
class XThreads_RawThread {
public:
    XThreads_RawThread() = default;
    virtual ~XThreads_RawThread();
    XThreads_RawThread(const XThreads_RawThread&) = delete;
    XThreads_RawThread& operator=(const XThreads_RawThread&) = delete;

    // The thread body.
    virtual void Run() = 0;

    // Starts the thread running Run at once; throws std::runtime_error with the text
    // "XThreads_RawThread: Couldn't create a new thread." when the system refuses.
    void Start();

    // Sets the priority from a level: 0 idle, 1 lowest, 2 below normal, 3 normal, 4 above normal,
    // 5 highest, 6 time-critical; any other level means normal.
    void SetPriority(uint32_t level);

    // The Win32 thread priority a level maps to (-15, -2, -1, 0, 1, 2, 15; others 0).
    static int PriorityForLevel(uint32_t level);

    platform::ThreadHandle* GetHandle() const { return handle_; }
    uint32_t ThreadId() const { return threadId_; }

private:
    // Calls Run and swallows any exception that leaves it.
    static void Entry(void* self);

    platform::ThreadHandle* handle_ = nullptr;
    uint32_t threadId_ = 0;
};

}  // namespace vextrel
