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
struct CrashFacts {
    bool isSignal = false;           // a signal number (Linux) rather than an exception code (Windows)
    uint32_t code = 0;               // the signal number or the exception code
    const char* codeName = "";       // "SIGSEGV", "access violation", ...
    uint64_t faultAddress = 0;       // the data address of a memory fault, else the instruction's
    uint64_t instructionAddress = 0; // where the crashing thread was
    uint32_t threadId = 0;           // the crashing thread
    // The crashing thread's stack, innermost first: entry 0 is the crashing instruction, the others
    // are return addresses.
    void* frames[kMaxCapturedFrames] = {};
    uint32_t frameCount = 0;
};

// Runs on the crashing thread, once per process, before the previous handler gets the crash.
using CrashCallback = void (*)(const CrashFacts& facts);

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

// The operating system's handle of an open stream (its descriptor, or its Win32 file handle), as
// an integer; -1 when there is none.
intptr_t NativeHandleOfStream(std::FILE* stream);

// Writes the text straight to the native handle, bypassing the C library's buffers and locks; each
// '\n' becomes the line end the stream's text mode writes ("\r\n" on Windows). Failures are ignored.
void WriteToNativeHandle(intptr_t handle, const char* text, size_t length);

// Empties the stream's output buffer without writing it and without taking the stream's lock. For
// a stream whose writing thread the system ended at process exit: that thread may have died holding
// the lock, with part of a line in the buffer.
void DiscardStreamBuffer(std::FILE* stream);

// How far back CompareFileEnd reads: a writer thread's block of lines (16 KiB), each of its line
// ends doubled, fits.
constexpr size_t kFileEndCapacity = 32768;

// How many leading bytes of the text the file at `path` already ends with, each '\n' counted as the
// line end the stream's text mode writes: the longest such prefix (0 when the file cannot be read).
// Tells how much of a line or a block of lines a writer ended by the system got into the file.
size_t CompareFileEnd(const char* path, const char* text, size_t length);

}  // namespace vextrel::platform
