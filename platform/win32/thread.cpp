#include "platform/thread.h"

#include <windows.h>

#include <new>

namespace vextrel::platform {

namespace {

struct StartBlock {
    void (*entry)(void*);
    void* argument;
};

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

void AwaitThreadExit(ThreadHandle*) {}

void ReleaseThread(ThreadHandle* thread) { CloseHandle(reinterpret_cast<HANDLE>(thread)); }

void KeepLibraryLoaded() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&ThreadMain), &module);
}

bool PinCurrentThreadToProcessor(uint32_t processor) {
    if (processor >= 64) return false;
    return SetThreadAffinityMask(GetCurrentThread(), DWORD_PTR{1} << processor) != 0;
}

}  // namespace vextrel::platform
