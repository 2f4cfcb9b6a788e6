#include "platform/thread.h"

#include <windows.h>

#include <atomic>
#include <new>

namespace vextrel::platform {

namespace {

struct StartBlock {
    void (*entry)(void*);
    void* argument;
};

// The thread counter's TLS slot, TLS_OUT_OF_INDEXES until the first write.
std::atomic<DWORD> g_counterSlot{TLS_OUT_OF_INDEXES};

DWORD WINAPI ThreadMain(LPVOID raw) {
    StartBlock block = *static_cast<StartBlock*>(raw);
    delete static_cast<StartBlock*>(raw);
    block.entry(block.argument);
    return 0;
}

}  // namespace

ThreadHandle* StartThread(void (*entry)(void*), void* argument, uint32_t* threadId) {
    StartBlock* block = new (std::nothrow) StartBlock{entry, argument};
    if (block == nullptr) return nullptr;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, ThreadMain, block, 0, &id);
    if (thread == nullptr) {
        delete block;
        return nullptr;
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
