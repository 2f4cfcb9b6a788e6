#include "core/trace_config.h"

#include <cstring>
#include <memory>
#include <new>

#include "core/facility.h"
#include "core/reclaim.h"
#include "core/record_queue.h"

namespace vextrel {

const HandlerEntry* HandlerTable::Find(uint32_t facilityWord) const {
    uint32_t low = 0;
    uint32_t high = count;
    while (low < high) {
        const uint32_t middle = (low + high) / 2;
        const uint32_t word = entries[middle].facilityWord;
        if (word < facilityWord) {
            low = middle + 1;
        } else if (word > facilityWord) {
            high = middle;
        } else {
            return &entries[middle];
        }
    }
    return nullptr;
}

HandlerEntry& HandlerEntry::operator=(const HandlerEntry& other) {
    facilityWord = other.facilityWord;
    selector = other.selector;
    std::memcpy(flags, other.flags, sizeof flags);
    SetHandler(other.Handler());
    return *this;
}

void ConfigName::Set(const char* name) {
    char buffer[kConfigNameCapacity] = {};
    if (name != nullptr) {
        for (uint32_t i = 0; i + 1 < kConfigNameCapacity && name[i] != '\0'; ++i) buffer[i] = name[i];
    }
    const uint32_t next = generation_.load(std::memory_order_relaxed) + 1;
    // Orders the earlier generation stores before this slot's words: a reader that sees one of
    // them also sees that its slot was being reused.
    std::atomic_thread_fence(std::memory_order_release);
    for (uint32_t w = 0; w < kWords; ++w) {
        uint64_t word;
        std::memcpy(&word, buffer + 8 * w, 8);
        slots_[next % kSlots][w].store(word, std::memory_order_relaxed);
    }
    generation_.store(next, std::memory_order_release);
}

TraceConfig* TraceConfig::Create() {
    TraceConfig* config = new (std::nothrow) TraceConfig;
    if (config == nullptr) return nullptr;
    RegisterBuiltinFacilities();
    return config;
}

TraceConfig::~TraceConfig() {
    if (RecordQueue* queue = Queue()) {
        if (!queue->Stopping()) queue->Stop();
        SetQueue(nullptr);
        delete queue;
    }
    delete handlers_.load(std::memory_order_relaxed);
}

bool StopConfig(TraceConfig* config, uint64_t deadlineTicks) {
    RecordQueue* queue = config == nullptr ? nullptr : config->Queue();
    return queue == nullptr || queue->Stop(deadlineTicks);
}

void DestroyConfig(TraceConfig* config) {
    if (config == nullptr) return;
    if (!StopConfig(config)) return;  // the writer retires it when it ends
    delete config;
}

void TraceConfig::RegisterHandler(uint32_t facilityWord, TraceHandlerFunc handler) {
    const HandlerTable* current = Handlers();
    if (current != nullptr) {
        if (const HandlerEntry* entry = current->Find(facilityWord)) {
            // Only the registering thread writes tables; trace calls read the handler atomically.
            const_cast<HandlerEntry*>(entry)->SetHandler(handler);
            return;
        }
        if (current->count >= kMaxHandlers) return;
    }
    auto next = std::make_unique<HandlerTable>();
    if (current != nullptr) *next = *current;
    // Lower bound by bisection: the first used entry whose word is not below the new one.
    uint32_t low = 0;
    uint32_t high = next->count;
    while (low < high) {
        const uint32_t middle = (low + high) / 2;
        if (next->entries[middle].facilityWord < facilityWord) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low < next->count && next->entries[low].facilityWord == facilityWord) {
        next->entries[low].SetHandler(handler);
    } else {
        if (next->count >= kMaxHandlers) return;
        for (uint32_t i = next->count; i > low; --i) next->entries[i] = next->entries[i - 1];
        next->entries[low] = HandlerEntry{};
        next->entries[low].facilityWord = facilityWord;
        next->entries[low].SetHandler(handler);
        ++next->count;
    }
    Retire(const_cast<HandlerTable*>(handlers_.exchange(next.release(), std::memory_order_seq_cst)));
}

void TraceConfig::MergeFrom(TraceConfig& other) {
    if (&other == this) return;
    console.MergeBaseFrom(other.console);
    file.MergeFrom(other.file);
    client.MergeFrom(other.client);
    quiet.store(quiet.load() || other.quiet.load());
    crashRecord = crashRecord && other.crashRecord;
}

void TraceConfig::UpdateFrom(TraceConfig& other) {
    if (&other == this) return;
    file.TakeSettingsFrom(other.file);
    console.CopyBaseFrom(other.console);
    client.AssignFrom(other.client);
    quiet.store(other.quiet.load());
    crashRecord = other.crashRecord;
    started = false;
    refresh = true;
}

}  // namespace vextrel
