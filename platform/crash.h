// The process crash handler: a fatal signal (Linux) or an unhandled exception (Windows) runs one
// callback on the crashing thread, then goes on to whatever handled the crash before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/stack.h"

namespace vextrel::platform {

// What is known about a crash when the callback runs. Lives in static storage: nothing on the
// crash path allocates.
struct CrashDetails {
    bool isSignal = false;            // a signal number (Linux) rather than an exception code (Windows)
    uint32_t code = 0;                // the signal number or the exception code
    const char* codeName = "";        // "SIGSEGV", "access violation", ...
    uint64_t faultAddress = 0;        // the data address of a memory fault, else the instruction's
    uint64_t instructionAddress = 0;  // where the crashing thread was
    uint32_t threadId = 0;            // the crashing thread
    // The crashing thread's stack, innermost first: entry 0 is the crashing instruction, the others
    // are return addresses.
    void* frames[kMaxCapturedFrames] = {};
    uint32_t frameCount = 0;
};

// Runs on the crashing thread, once per process, before the previous handler gets the crash.
using CrashCallback = void (*)(const CrashDetails& facts);

// Installs the crash handler for SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT, run on the crashing
// thread's alternate signal stack where it has one (PrepareThreadForCrash) so that a stack overflow
// is recorded too (Linux), or as the unhandled-exception filter and the C runtime's SIGABRT handler
// (Windows), keeping what was installed before; prepares the calling thread. Does nothing when it
// is installed already.
void InstallCrashHandler(CrashCallback callback);

// Gives the calling thread what the crash handler needs to run after a stack overflow: on Linux an
// alternate signal stack unless the thread has one (the host's own stays), freed when the thread
// exits. Runs once per thread, on its first record (CurrentThreadId's first call); the crash handler
// need not be installed yet.
void PrepareThreadForCrash();

// At unload: threads stop freeing their alternate stacks at exit (that code goes with the library;
// the stacks stay mapped), and the calling thread's own is freed.
void ReleaseThreadCrashStacks();

// Puts back what was installed before, where the handler is still ours. Does nothing when it is not
// installed.
void RemoveCrashHandler();

// Whether the crash handler is installed.
bool CrashHandlerInstalled();

}  // namespace vextrel::platform
