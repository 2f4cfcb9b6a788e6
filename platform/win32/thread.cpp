#include "platform/thread.h"

#include <windows.h>

#include <atomic>
#include <new>

namespace vextrel::platform {

namespace {

// Shared by the starter and the new thread; the last of the two to let go frees it.
struct StartBlock {
    void (*entry)(void*);
    void* argument;
    std::atomic<bool> entered{false};
    std::atomic<int> owners{2};
};

void Release(StartBlock* block) {
    if (block->owners.fetch_sub(1, std::memory_order_acq_rel) == 1) delete block;
}

// How long a starter waits for its new thread to enter its body.
constexpr DWORD kEntryWaitMilliseconds = 1000;

// A new thread first passes the system loader (which notifies every DLL, under the loader lock)
// and only then enters its body. The starter waits for that, so that an unload of the library
// afterwards never finds a thread of its own still waiting for the lock that the unload holds.
// Bounded: a starter that holds the loader lock itself (a host calling in from its DllMain) goes
// on after the wait.
void AwaitEntry(StartBlock* block) {
    for (DWORD spins = 0; spins < 1000 && !block->entered.load(std::memory_order_acquire); ++spins) {
        SwitchToThread();
    }
    for (DWORD waited = 0; waited < kEntryWaitMilliseconds && !block->entered.load(std::memory_order_acquire);
         ++waited) {
        Sleep(1);
    }
    Release(block);
}

// Threads started suspended while the library is being loaded, until the first exported call.
// Only the loading thread adds to the list, before any exported call can run.
struct HeldThread {
    HANDLE thread;
    StartBlock* block;
};
constexpr size_t kMaxHeldThreads = 32;
constexpr DWORD kHeldThreadEndWaitMilliseconds = 1000;
HeldThread g_held[kMaxHeldThreads];
size_t g_heldCount = 0;
// The thread inside DllMain's attach, 0 otherwise.
std::atomic<DWORD> g_loadingThread{0};

// The thread counter's TLS slot, TLS_OUT_OF_INDEXES until the first write.
std::atomic<DWORD> g_counterSlot{TLS_OUT_OF_INDEXES};

DWORD WINAPI ThreadMain(LPVOID raw) {
    StartBlock* block = static_cast<StartBlock*>(raw);
    void (*const entry)(void*) = block->entry;
    void* const argument = block->argument;
    block->entered.store(true, std::memory_order_release);
    Release(block);
    entry(argument);
    return 0;
}

}  // namespace

ThreadHandle* StartThread(void (*entry)(void*), void* argument, uint32_t* threadId) {
    StartBlock* block = new (std::nothrow) StartBlock{entry, argument};
    if (block == nullptr) return nullptr;
    // Held threads (see platform/thread.h) are waited for when they are resumed.
    const bool hold = g_loadingThread.load(std::memory_order_relaxed) == GetCurrentThreadId() &&
                      g_heldCount < kMaxHeldThreads;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, ThreadMain, block, hold ? CREATE_SUSPENDED : 0, &id);
    if (thread == nullptr) {
        delete block;
        return nullptr;
    }
    if (hold) {
        g_held[g_heldCount++] = HeldThread{thread, block};
        detail::g_threadsHeld.store(true, std::memory_order_release);
    } else {
        AwaitEntry(block);
    }
    if (threadId != nullptr) *threadId = static_cast<uint32_t>(id);
    return reinterpret_cast<ThreadHandle*>(thread);
}

void SetThreadPriorityValue(ThreadHandle* thread, int priority) {
    SetThreadPriority(reinterpret_cast<HANDLE>(thread), priority);
}

bool ThreadStillActive(ThreadHandle* thread) {
    DWORD code = 0;
    return GetExitCodeThread(reinterpret_cast<HANDLE>(thread), &code) && code == STILL_ACTIVE;
}

void ReleaseThread(ThreadHandle* thread) { CloseHandle(reinterpret_cast<HANDLE>(thread)); }

void KeepLibraryLoaded() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&ThreadMain), &module);
}

void SetInsideLibraryLoad(bool inside) {
    g_loadingThread.store(inside ? GetCurrentThreadId() : 0, std::memory_order_relaxed);
}

void ResumeHeldThreadsNow() {
    // The one caller that clears the flag resumes the list; any later caller finds it clear.
    if (!detail::g_threadsHeld.exchange(false, std::memory_order_acq_rel)) return;
    for (size_t i = 0; i < g_heldCount; ++i) ResumeThread(g_held[i].thread);
    for (size_t i = 0; i < g_heldCount; ++i) AwaitEntry(g_held[i].block);
    g_heldCount = 0;
}

void DiscardHeldThreads() {
    if (!detail::g_threadsHeld.exchange(false, std::memory_order_acq_rel)) return;
    for (size_t i = 0; i < g_heldCount; ++i) {
        // Never resumed, the thread has run no instruction of its own and holds nothing: ending it
        // is safe. Its owner then finds it finished and writes the rest of its output itself.
        TerminateThread(g_held[i].thread, 0);
        WaitForSingleObject(g_held[i].thread, kHeldThreadEndWaitMilliseconds);
        delete g_held[i].block;  // both owners: the thread never took its share
    }
    g_heldCount = 0;
}

uint32_t ReadThreadCounter() {
    const DWORD slot = g_counterSlot.load(std::memory_order_acquire);
    if (slot == TLS_OUT_OF_INDEXES) return 0;
    // TlsGetValue clears the thread's last error; the host's stays as it was.
    const DWORD lastError = GetLastError();
    const uintptr_t value = reinterpret_cast<uintptr_t>(TlsGetValue(slot));
    SetLastError(lastError);
    return static_cast<uint32_t>(value);
}

void WriteThreadCounter(uint32_t value) {
    DWORD slot = g_counterSlot.load(std::memory_order_acquire);
    if (slot == TLS_OUT_OF_INDEXES) {
        // Two threads may take a slot at once: the first one stored is kept, the other returned.
        const DWORD taken = TlsAlloc();
        if (taken == TLS_OUT_OF_INDEXES) return;  // none left: every thread reads 0
        if (g_counterSlot.compare_exchange_strong(slot, taken, std::memory_order_acq_rel)) {
            slot = taken;
        } else {
            TlsFree(taken);
        }
    }
    TlsSetValue(slot, reinterpret_cast<LPVOID>(static_cast<uintptr_t>(value)));
}

void ReleaseThreadCounter() {
    const DWORD slot = g_counterSlot.exchange(TLS_OUT_OF_INDEXES, std::memory_order_acq_rel);
    if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);
}

bool PinCurrentThreadToProcessor(uint32_t processor) {
    if (processor >= 64) return false;
    return SetThreadAffinityMask(GetCurrentThread(), DWORD_PTR{1} << processor) != 0;
}

}  // namespace vextrel::platform
