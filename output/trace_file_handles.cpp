#include "output/trace_file_handles.h"

#include <atomic>

#include "platform/stream.h"

namespace vextrel {
namespace {

// One open trace file: its stream as the key, its handle plus one (0: none) as the value.
struct HandleSlot {
    std::atomic<std::FILE*> stream{nullptr};
    std::atomic<intptr_t> handlePlusOne{0};
};

// Constant-initialised, never destroyed: usable by a crash at any point of the process's life.
HandleSlot g_slots[kTraceFileHandleCapacity];

}  // namespace

void RememberTraceFileHandle(std::FILE* stream) {
    if (stream == nullptr) return;
    const intptr_t handle = platform::NativeHandleOfStream(stream);
    if (handle == -1) return;
    for (HandleSlot& slot : g_slots) {
        std::FILE* empty = nullptr;
        if (slot.stream.compare_exchange_strong(empty, stream)) {
            slot.handlePlusOne.store(handle + 1, std::memory_order_release);
            return;
        }
    }
}

void ForgetTraceFileHandle(std::FILE* stream) {
    if (stream == nullptr) return;
    for (HandleSlot& slot : g_slots) {
        if (slot.stream.load() != stream) continue;
        slot.handlePlusOne.store(0, std::memory_order_release);
        slot.stream.store(nullptr);
        return;
    }
}

uint32_t TraceFileHandles(intptr_t* handles, uint32_t capacity) {
    uint32_t count = 0;
    for (HandleSlot& slot : g_slots) {
        if (count == capacity) break;
        const intptr_t handlePlusOne = slot.handlePlusOne.load(std::memory_order_acquire);
        if (handlePlusOne != 0) handles[count++] = handlePlusOne - 1;
    }
    return count;
}

}  // namespace vextrel
