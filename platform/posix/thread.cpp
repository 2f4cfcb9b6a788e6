#include "platform/thread.h"

#include "platform/stack.h"

#include <dlfcn.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <new>

namespace vextrel::platform {

// Shared by the creator and the thread itself; the last of the two to let go frees it.
struct ThreadHandle {
    void (*entry)(void*) = nullptr;
    void* argument = nullptr;
    pthread_t thread{};
    std::atomic<uint32_t> kernelId{0};
    std::atomic<bool> running{true};
    std::atomic<bool> joinedOrDetached{false};
    std::atomic<int> owners{2};
};

namespace {

void Release(ThreadHandle* handle) {
    if (handle->owners.fetch_sub(1, std::memory_order_acq_rel) == 1) delete handle;
}

void* ThreadMain(void* raw) {
    ThreadHandle* handle = static_cast<ThreadHandle*>(raw);
    handle->kernelId.store(static_cast<uint32_t>(syscall(SYS_gettid)), std::memory_order_release);
    handle->kernelId.notify_one();
    handle->entry(handle->argument);
    handle->running.store(false, std::memory_order_release);
    Release(handle);
    return nullptr;
}

}  // namespace

ThreadHandle* StartThread(void (*entry)(void*), void* argument, uint32_t* threadId) {
    ThreadHandle* handle = new (std::nothrow) ThreadHandle;
    if (handle == nullptr) return nullptr;
    handle->entry = entry;
    handle->argument = argument;
    if (pthread_create(&handle->thread, nullptr, ThreadMain, handle) != 0) {
        delete handle;
        return nullptr;
    }
    // The caller gets the new thread's id, which only the thread can tell: it waits for it blocked,
    // not yielding in a loop, which on a busy machine burns the processor the new thread needs.
    handle->kernelId.wait(0, std::memory_order_acquire);
    if (threadId != nullptr) *threadId = handle->kernelId.load(std::memory_order_relaxed);
    return handle;
}

void SetThreadPriorityValue(ThreadHandle* thread, int priority) {
    // Windows priorities map onto nice values; raising priority needs privileges and may fail.
    int nice = 0;
    switch (priority) {
        case -15: nice = 19; break;
        case -2: nice = 10; break;
        case -1: nice = 5; break;
        case 1: nice = -5; break;
        case 2: nice = -10; break;
        case 15: nice = -20; break;
        default: nice = 0; break;
    }
    setpriority(PRIO_PROCESS, static_cast<id_t>(thread->kernelId.load(std::memory_order_relaxed)), nice);
}

bool ThreadStillActive(ThreadHandle* thread) { return thread->running.load(std::memory_order_acquire); }

void AwaitThreadExit(ThreadHandle* thread) {
    if (pthread_equal(thread->thread, pthread_self())) return;
    // Joining waits only for the thread's last instructions here and in the C library.
    if (!thread->joinedOrDetached.exchange(true)) pthread_join(thread->thread, nullptr);
}

namespace {

// Threads released while still running, joined by AwaitReleasedThreads (or detached when the list
// is full). Only writers abandoned after the stop wait end up here, so a handful at most.
constexpr size_t kReleasedCapacity = 64;
pthread_t g_released[kReleasedCapacity];
size_t g_releasedCount = 0;
pthread_mutex_t g_releasedLock = PTHREAD_MUTEX_INITIALIZER;

}  // namespace

void ReleaseThread(ThreadHandle* thread) {
    if (!thread->running.load(std::memory_order_acquire)) AwaitThreadExit(thread);
    if (!thread->joinedOrDetached.exchange(true)) {
        pthread_mutex_lock(&g_releasedLock);
        // Threads noted earlier that have ended meanwhile make room.
        for (size_t i = 0; i < g_releasedCount;) {
            if (pthread_tryjoin_np(g_released[i], nullptr) == 0) {
                g_released[i] = g_released[--g_releasedCount];
            } else {
                ++i;
            }
        }
        if (g_releasedCount < kReleasedCapacity) {
            g_released[g_releasedCount++] = thread->thread;
        } else {
            pthread_detach(thread->thread);
        }
        pthread_mutex_unlock(&g_releasedLock);
    }
    Release(thread);
}

void AwaitReleasedThreads() {
    pthread_mutex_lock(&g_releasedLock);
    for (size_t i = 0; i < g_releasedCount; ++i) {
        if (pthread_equal(g_released[i], pthread_self())) {
            pthread_detach(g_released[i]);
        } else {
            pthread_join(g_released[i], nullptr);
        }
    }
    g_releasedCount = 0;
    pthread_mutex_unlock(&g_releasedLock);
}

bool UnloadCanWaitForThreads() { return true; }

namespace {

std::atomic<bool> g_keptLoaded{false};

}  // namespace

void KeepLibraryLoaded() {
    if (g_keptLoaded.load(std::memory_order_acquire) || LibraryUnloadUnderWay()) return;
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&ThreadMain), &info) != 0 && info.dli_fname != nullptr) {
        // RTLD_NODELETE on an image already loaded marks it to stay; the handle is never closed.
        if (dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr) {
            g_keptLoaded.store(true, std::memory_order_release);
        }
    }
}

bool LibraryStaysLoaded() { return g_keptLoaded.load(std::memory_order_acquire); }

namespace {

thread_local uint32_t t_counter = 0;

}  // namespace

uint32_t ReadThreadCounter() { return t_counter; }

void WriteThreadCounter(uint32_t value) { t_counter = value; }

void ReleaseThreadCounter() {}

void SetInsideLibraryLoad(bool) {}

void ResumeHeldThreadsNow() {}

void DiscardHeldThreads() {}

bool PinCurrentThreadToProcessor(uint32_t processor) {
    if (processor >= CPU_SETSIZE) return false;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(processor, &set);
    return pthread_setaffinity_np(pthread_self(), sizeof set, &set) == 0;
}

}  // namespace vextrel::platform
