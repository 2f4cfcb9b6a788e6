// The crash handler on Linux: sigaction with SA_SIGINFO | SA_ONSTACK for the fatal signals, an
// alternate signal stack for each thread that records traces (and the installing thread), and a
// hand-over to the previous disposition by restoring it and letting the signal arrive once more.
#include "platform/crash.h"

#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdio_ext.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace vextrel::platform {
namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr size_t kSignalCount = sizeof kCrashSignals / sizeof kCrashSignals[0];
constexpr size_t kAlternateStackSize = 128 * 1024;
// An inaccessible page below each alternate stack: a handler that overflows it faults instead of
// writing over whatever lies below.
constexpr size_t kGuardSize = 4096;
// A second crashing thread waits this long for the first to finish its record before it goes on.
constexpr int kOtherCrashWaitMilliseconds = 3000;
// The crashing thread's value once the record is written.
constexpr uint32_t kRecordWritten = 0xFFFFFFFFu;

struct sigaction g_previous[kSignalCount];
std::atomic<bool> g_installed{false};
CrashCallback g_callback = nullptr;
// 0 until a thread crashes; then that thread's id, then kRecordWritten.
std::atomic<uint32_t> g_crashingThread{0};
CrashDetails g_facts;
// Frees a thread's alternate stack when the thread exits; deleted at unload, after which the
// threads still running keep theirs (mapped for the rest of the process: the library's code that
// would free them is gone).
pthread_key_t g_stackKey;
std::atomic<bool> g_stackKeyCreated{false};

const char* SignalName(int signal) {
    switch (signal) {
        case SIGSEGV: return "SIGSEGV";
        case SIGBUS: return "SIGBUS";
        case SIGILL: return "SIGILL";
        case SIGFPE: return "SIGFPE";
        case SIGABRT: return "SIGABRT";
        default: return "signal";
    }
}

uint32_t ThreadIdNow() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

uint64_t InstructionOf(void* context) {
#if defined(__x86_64__)
    return static_cast<uint64_t>(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return static_cast<uint64_t>(static_cast<ucontext_t*>(context)->uc_mcontext.pc);
#else
    (void)context;
    return 0;
#endif
}

// The stack from the crashing instruction outwards: the unwinder passes through the signal frame,
// so the frames of the handler itself are left out by starting at the interrupted instruction.
void CaptureCrashStack(uint64_t instruction) {
    void* captured[kMaxCapturedFrames + 16];
    const int total = backtrace(captured, static_cast<int>(sizeof captured / sizeof captured[0]));
    int first = -1;
    for (int index = 0; index < total; ++index) {
        if (reinterpret_cast<uintptr_t>(captured[index]) == instruction) {
            first = index;
            break;
        }
    }
    uint32_t count = 0;
    if (first < 0) {
        // The unwinder lost the signal frame: the crashing instruction alone is known for certain.
        g_facts.frames[count++] = reinterpret_cast<void*>(static_cast<uintptr_t>(instruction));
    } else {
        for (int index = first; index < total && count < kMaxCapturedFrames; ++index) {
            g_facts.frames[count++] = captured[index];
        }
    }
    g_facts.frameCount = count;
}

void RestorePrevious() {
    for (size_t i = 0; i < kSignalCount; ++i) sigaction(kCrashSignals[i], &g_previous[i], nullptr);
}

// Ends the process with the signal's default action, whatever was installed.
[[noreturn]] void DieBySignal(int signal) {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigaction(signal, &fallback, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    syscall(SYS_tgkill, getpid(), syscall(SYS_gettid), signal);
    _exit(128 + signal);
}

// Hands the signal to what was installed before: a fault raised by the instruction itself is
// raised again when the handler returns and the instruction runs once more; a signal sent by a
// call (abort, raise, kill) is sent again, and arrives once the handler returns and unblocks it.
void ChainToPrevious(int signal, const siginfo_t* info) {
    RestorePrevious();
    if (info == nullptr || info->si_code <= 0 || signal == SIGABRT) {
        syscall(SYS_tgkill, getpid(), syscall(SYS_gettid), signal);
    }
}

void OnCrashSignal(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    const uint32_t self = ThreadIdNow();
    uint32_t expected = 0;
    if (!g_crashingThread.compare_exchange_strong(expected, self)) {
        // A crash inside the record of a crash ends the process at once.
        if (expected == self) DieBySignal(signal);
        // Another thread is writing the record: it goes first, for a bounded time.
        for (int waited = 0;
             waited < kOtherCrashWaitMilliseconds && g_crashingThread.load(std::memory_order_acquire) != kRecordWritten;
             waited += 5) {
            const timespec pause{0, 5000000};
            nanosleep(&pause, nullptr);
        }
        ChainToPrevious(signal, info);
        errno = savedErrno;
        return;
    }
    g_facts.isSignal = true;
    g_facts.code = static_cast<uint32_t>(signal);
    g_facts.codeName = SignalName(signal);
    g_facts.instructionAddress = InstructionOf(context);
    const bool memoryFault = signal == SIGSEGV || signal == SIGBUS;
    g_facts.faultAddress = memoryFault && info != nullptr
                               ? static_cast<uint64_t>(reinterpret_cast<uintptr_t>(info->si_addr))
                               : g_facts.instructionAddress;
    g_facts.threadId = self;
    CaptureCrashStack(g_facts.instructionAddress);
    if (g_callback != nullptr) g_callback(g_facts);
    // Marked written once the previous disposition is back: an unload waiting for the record may
    // then remove nothing more and unmap the library.
    RestorePrevious();
    g_crashingThread.store(kRecordWritten, std::memory_order_release);
    ChainToPrevious(signal, info);
    errno = savedErrno;
}

// Whether `stack` is the calling thread's alternate signal stack and the thread is not running on it.
bool IsIdleAlternateStack(void* stack) {
    stack_t current{};
    return stack != nullptr && sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_ONSTACK) == 0 &&
           static_cast<char*>(current.ss_sp) == static_cast<char*>(stack) + kGuardSize;
}

// Turns off and unmaps the calling thread's alternate stack `stack`, when it is still that thread's.
void FreeAlternateStack(void* stack) {
    if (!IsIdleAlternateStack(stack)) return;
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    munmap(stack, kGuardSize + kAlternateStackSize);
}

void CreateStackKey() {
    static std::mutex creating;
    const std::lock_guard<std::mutex> hold(creating);
    if (g_stackKeyCreated.load(std::memory_order_acquire)) return;
    if (pthread_key_create(&g_stackKey, FreeAlternateStack) == 0)
        g_stackKeyCreated.store(true, std::memory_order_release);
}

}  // namespace

void PrepareThreadForCrash() {
    stack_t current{};
    // A stack the thread has already, the host's own or ours, stays.
    if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0) return;
    CreateStackKey();
    void* mapped =
        mmap(nullptr, kGuardSize + kAlternateStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return;
    mprotect(mapped, kGuardSize, PROT_NONE);
    stack_t alternate{};
    alternate.ss_sp = static_cast<char*>(mapped) + kGuardSize;
    alternate.ss_size = kAlternateStackSize;
    if (sigaltstack(&alternate, nullptr) != 0) {
        munmap(mapped, kGuardSize + kAlternateStackSize);
        return;
    }
    // Without the key the stack stays for the thread's life and beyond: a small leak, never a fault.
    if (g_stackKeyCreated.load(std::memory_order_acquire)) pthread_setspecific(g_stackKey, mapped);
}

void ReleaseThreadCrashStacks() {
    static std::mutex releasing;
    const std::lock_guard<std::mutex> hold(releasing);
    if (!g_stackKeyCreated.exchange(false)) return;
    void* own = pthread_getspecific(g_stackKey);
    pthread_key_delete(g_stackKey);
    FreeAlternateStack(own);
}

void InstallCrashHandler(CrashCallback callback) {
    if (g_installed.load()) return;
    // backtrace() loads the unwinder on its first use; that happens here, not in a crashing process.
    void* warmUp[2];
    backtrace(warmUp, 2);
    PrepareThreadForCrash();
    g_callback = callback;
    struct sigaction action {};
    action.sa_sigaction = OnCrashSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    // Every crash signal is blocked while the record is written: a second fault there ends the
    // process with that signal at once.
    sigemptyset(&action.sa_mask);
    for (int signal : kCrashSignals) sigaddset(&action.sa_mask, signal);
    for (size_t i = 0; i < kSignalCount; ++i) sigaction(kCrashSignals[i], &action, &g_previous[i]);
    g_installed.store(true);
}

void RemoveCrashHandler() {
    if (!g_installed.load()) return;
    // A record being written on another thread runs this library's code: it finishes first (for a
    // bounded time), so that an unload does not pull the code from under it.
    const uint32_t self = ThreadIdNow();
    for (int waited = 0; waited < kOtherCrashWaitMilliseconds; waited += 5) {
        const uint32_t crashing = g_crashingThread.load(std::memory_order_acquire);
        if (crashing == 0 || crashing == kRecordWritten || crashing == self) break;
        const timespec pause{0, 5000000};
        nanosleep(&pause, nullptr);
    }
    for (size_t i = 0; i < kSignalCount; ++i) {
        struct sigaction current {};
        sigaction(kCrashSignals[i], nullptr, &current);
        // A handler installed after ours stays; it is the host's (or a later library's) to manage.
        if ((current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == OnCrashSignal) {
            sigaction(kCrashSignals[i], &g_previous[i], nullptr);
        }
    }
    g_installed.store(false);
}

bool CrashHandlerInstalled() { return g_installed.load(); }

}  // namespace vextrel::platform
