#include "platform/thread.h"

#include <windows.h>

#include <atomic>
#include <new>

namespace vextrel::platform {

// A thread started during the library's load exists first only as this request (thread null).
struct ThreadHandle {
    HANDLE thread = nullptr;
    void (*entry)(void*) = nullptr;
    void* argument = nullptr;
    uint32_t* threadId = nullptr;
    int priority = 0;
};

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

// Threads asked for while the library is being loaded, not created yet, under g_heldLock (a slim
// lock needs no set-up and nothing to free). Only the loading thread adds to the list.
SRWLOCK g_heldLock = SRWLOCK_INIT;
constexpr size_t kMaxHeldThreads = 32;
ThreadHandle* g_held[kMaxHeldThreads];
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

// Creates the thread of `handle` and waits until it runs its body; false when the system refuses.
bool CreateHandleThread(ThreadHandle* handle) {
    StartBlock* block = new (std::nothrow) StartBlock{handle->entry, handle->argument};
    if (block == nullptr) return false;
    DWORD id = 0;
    handle->thread = CreateThread(nullptr, 0, ThreadMain, block, 0, &id);
    if (handle->thread == nullptr) {
        delete block;
        return false;
    }
    if (handle->threadId != nullptr) *handle->threadId = static_cast<uint32_t>(id);
    if (handle->priority != 0) SetThreadPriority(handle->thread, handle->priority);
    AwaitEntry(block);
    return true;
}

}  // namespace

ThreadHandle* StartThread(void (*entry)(void*), void* argument, uint32_t* threadId) {
    ThreadHandle* handle = new (std::nothrow) ThreadHandle{nullptr, entry, argument, threadId, 0};
    if (handle == nullptr) return nullptr;
    if (g_loadingThread.load(std::memory_order_relaxed) == GetCurrentThreadId()) {
        AcquireSRWLockExclusive(&g_heldLock);
        const bool held = g_heldCount < kMaxHeldThreads;
        if (held) {
            g_held[g_heldCount++] = handle;
            detail::g_threadsHeld.store(true, std::memory_order_release);
        }
        ReleaseSRWLockExclusive(&g_heldLock);
        if (held) return handle;
    }
    if (!CreateHandleThread(handle)) {
        delete handle;
        return nullptr;
    }
    return handle;
}

void SetThreadPriorityValue(ThreadHandle* thread, int priority) {
    thread->priority = priority;
    if (thread->thread != nullptr) SetThreadPriority(thread->thread, priority);
}

bool ThreadStillActive(ThreadHandle* thread) {
    // A thread never created has nothing left to do.
    DWORD code = 0;
    return thread->thread != nullptr && GetExitCodeThread(thread->thread, &code) && code == STILL_ACTIVE;
}

void AwaitThreadExit(ThreadHandle*) {}

void ReleaseThread(ThreadHandle* thread) {
    if (thread->thread != nullptr) {
        CloseHandle(thread->thread);
    } else {
        AcquireSRWLockExclusive(&g_heldLock);
        for (size_t i = 0; i < g_heldCount; ++i) {
            if (g_held[i] == thread) g_held[i] = g_held[--g_heldCount];
        }
        ReleaseSRWLockExclusive(&g_heldLock);
    }
    delete thread;
}

void KeepLibraryLoaded() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&ThreadMain), &module);
}

bool LibraryStaysLoaded() { return true; }

bool UnloadCanWaitForThreads() { return false; }

void AwaitReleasedThreads() {}

void SetInsideLibraryLoad(bool inside) {
    g_loadingThread.store(inside ? GetCurrentThreadId() : 0, std::memory_order_relaxed);
}

void ResumeHeldThreadsNow() {
    // Callers meanwhile wait here: once the flag is clear, every held thread runs. A thread the
    // system refuses stays a request: its owner finds it finished and writes its output itself.
    AcquireSRWLockExclusive(&g_heldLock);
    for (size_t i = 0; i < g_heldCount; ++i) CreateHandleThread(g_held[i]);
    g_heldCount = 0;
    detail::g_threadsHeld.store(false, std::memory_order_release);
    ReleaseSRWLockExclusive(&g_heldLock);
}

void DiscardHeldThreads() {
    // The requests stay with their owners, who find their threads finished when they stop.
    AcquireSRWLockExclusive(&g_heldLock);
    g_heldCount = 0;
    detail::g_threadsHeld.store(false, std::memory_order_release);
    ReleaseSRWLockExclusive(&g_heldLock);
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
