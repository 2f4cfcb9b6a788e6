// The crash handler on Windows: the unhandled-exception filter, which runs on the crashing thread
// only once no handler of the host took the exception (a debugger sees it before), then calls the
// filter that was installed before ours; and a SIGABRT handler of the C runtime, since abort()
// raises that signal and ends the process without an exception.
#include "platform/crash.h"

#include <windows.h>
#include <dbghelp.h>
#include <io.h>

#include <atomic>
#include <csignal>

namespace vextrel::platform {
namespace {

// The crashing thread's value once the record is written.
constexpr uint32_t kRecordWritten = 0xFFFFFFFFu;
// The room kept for the crash record below a thread's stack after an overflow.
constexpr ULONG kCrashStackGuarantee = 64 * 1024;
// A second crashing thread waits this long for the first to finish its record before it goes on.
constexpr int kOtherCrashWaitMilliseconds = 3000;

using SignalHandler = void (*)(int);

LPTOP_LEVEL_EXCEPTION_FILTER g_previous = nullptr;
SignalHandler g_previousAbort = SIG_DFL;
std::atomic<bool> g_installed{false};
CrashCallback g_callback = nullptr;
std::atomic<uint32_t> g_crashingThread{0};
CrashDetails g_facts;
CONTEXT g_unwindContext;

const char* ExceptionName(DWORD code) {
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION: return "access violation";
        case EXCEPTION_IN_PAGE_ERROR: return "in-page error";
        case EXCEPTION_ILLEGAL_INSTRUCTION: return "illegal instruction";
        case EXCEPTION_PRIV_INSTRUCTION: return "privileged instruction";
        case EXCEPTION_INT_DIVIDE_BY_ZERO: return "integer division by zero";
        case EXCEPTION_STACK_OVERFLOW: return "stack overflow";
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED: return "array bounds exceeded";
        case EXCEPTION_BREAKPOINT: return "breakpoint";
        case 0xE06D7363: return "unhandled C++ exception";
        default: return "exception";
    }
}

// The crashing thread's stack, unwound from the exception's context with the modules' unwind
// tables: the crashing instruction first, then each caller's return address.
void UnwindCrashStack(const CONTEXT& context) {
    g_unwindContext = context;
    uint32_t count = 0;
    while (count < kMaxCapturedFrames && g_unwindContext.Rip != 0) {
        g_facts.frames[count++] = reinterpret_cast<void*>(static_cast<uintptr_t>(g_unwindContext.Rip));
        DWORD64 imageBase = 0;
        PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(g_unwindContext.Rip, &imageBase, nullptr);
        if (function == nullptr) {
            // A leaf function: the return address is on top of the stack.
            if (g_unwindContext.Rsp == 0) break;
            g_unwindContext.Rip = *reinterpret_cast<DWORD64*>(static_cast<uintptr_t>(g_unwindContext.Rsp));
            g_unwindContext.Rsp += 8;
        } else {
            PVOID handlerData = nullptr;
            DWORD64 establisherFrame = 0;
            RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, g_unwindContext.Rip, function, &g_unwindContext,
                             &handlerData, &establisherFrame, nullptr);
        }
    }
    g_facts.frameCount = count;
}

// Records the crash once per process: fills the facts, unwinds the stack from `context` and runs the
// callback. A crash inside the record ends the process at once; another thread crashing meanwhile
// waits for the record to be written.
void RecordCrash(bool isSignal, uint32_t code, const char* name, uint64_t faultAddress, uint64_t instructionAddress,
                 const CONTEXT* context) {
    const uint32_t self = static_cast<uint32_t>(GetCurrentThreadId());
    uint32_t expected = 0;
    if (!g_crashingThread.compare_exchange_strong(expected, self)) {
        if (expected == self) TerminateProcess(GetCurrentProcess(), code);
        for (int waited = 0;
             waited < kOtherCrashWaitMilliseconds && g_crashingThread.load(std::memory_order_acquire) != kRecordWritten;
             waited += 5) {
            Sleep(5);
        }
        return;
    }
    g_facts.isSignal = isSignal;
    g_facts.code = code;
    g_facts.codeName = name;
    g_facts.instructionAddress = instructionAddress;
    g_facts.faultAddress = faultAddress;
    g_facts.threadId = self;
    if (context != nullptr) UnwindCrashStack(*context);
    if (g_callback != nullptr) g_callback(g_facts);
    g_crashingThread.store(kRecordWritten, std::memory_order_release);
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers != nullptr ? pointers->ExceptionRecord : nullptr;
    if (record != nullptr) {
        const uint64_t instruction = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(record->ExceptionAddress));
        const bool memoryFault =
            (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION || record->ExceptionCode == EXCEPTION_IN_PAGE_ERROR) &&
            record->NumberParameters >= 2;
        RecordCrash(false, static_cast<uint32_t>(record->ExceptionCode), ExceptionName(record->ExceptionCode),
                    memoryFault ? static_cast<uint64_t>(record->ExceptionInformation[1]) : instruction, instruction,
                    pointers->ContextRecord);
    }
    return g_previous != nullptr ? g_previous(pointers) : EXCEPTION_CONTINUE_SEARCH;
}

// abort() raises SIGABRT; the runtime has reset the handler to the default before calling it. The
// stack is unwound from here, so its first frames are this handler and the runtime's.
void OnAbortSignal(int signal) {
    CONTEXT context;
    RtlCaptureContext(&context);
    RecordCrash(true, static_cast<uint32_t>(signal), "SIGABRT", context.Rip, context.Rip, &context);
    // A handler installed before ours runs next; when it returns, or there was none, abort() goes on
    // and ends the process as it would have.
    if (g_previousAbort != SIG_DFL && g_previousAbort != SIG_IGN && g_previousAbort != SIG_ERR) {
        g_previousAbort(signal);
    }
}

}  // namespace

void InstallCrashHandler(CrashCallback callback) {
    if (g_installed.load()) return;
    g_callback = callback;
    g_previous = SetUnhandledExceptionFilter(OnUnhandledException);
    g_previousAbort = std::signal(SIGABRT, OnAbortSignal);
    g_installed.store(true);
}

// The unhandled-exception filter runs on the crashing thread's own stack: after a stack overflow,
// in the room the thread's stack guarantee keeps below the guard page. Without a guarantee that
// room is too small for the system to even call the filter.
void PrepareThreadForCrash() {
    ULONG size = kCrashStackGuarantee;
    // Only ever raises the guarantee; fails, leaving it, on a stack too small for it.
    SetThreadStackGuarantee(&size);
}

// Nothing was allocated per thread.
void ReleaseThreadCrashStacks() {}

void RemoveCrashHandler() {
    if (!g_installed.load()) return;
    LPTOP_LEVEL_EXCEPTION_FILTER current = SetUnhandledExceptionFilter(g_previous);
    // A filter installed after ours stays; it is the host's (or a later library's) to manage.
    if (current != OnUnhandledException) SetUnhandledExceptionFilter(current);
    const SignalHandler currentAbort = std::signal(SIGABRT, g_previousAbort == SIG_ERR ? SIG_DFL : g_previousAbort);
    if (currentAbort != OnAbortSignal) std::signal(SIGABRT, currentAbort);
    g_installed.store(false);
}

bool CrashHandlerInstalled() { return g_installed.load(); }

}  // namespace vextrel::platform
