#include "core/trace_config.h"

#include <cstring>
#include <new>

#include "core/facility.h"
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

void ConfigName::Set(const char* name) {
    char buffer[kConfigNameCapacity] = {};
    if (name != nullptr) {
        for (uint32_t i = 0; i + 1 < kConfigNameCapacity && name[i] != '\0'; ++i) buffer[i] = name[i];
    }
    for (uint32_t w = 0; w < kConfigNameCapacity / 8; ++w) {
        uint64_t word;
        std::memcpy(&word, buffer + 8 * w, 8);
        words_[w].store(word, std::memory_order_relaxed);
    }
}

void ConfigName::CopyTo(char* destination) const {
    for (uint32_t w = 0; w < kConfigNameCapacity / 8; ++w) {
        const uint64_t word = words_[w].load(std::memory_order_relaxed);
        std::memcpy(destination + 8 * w, &word, 8);
    }
    destination[kConfigNameCapacity - 1] = '\0';
}

char ConfigName::FirstByte() const {
    const uint64_t word = words_[0].load(std::memory_order_relaxed);
    char bytes[8];
    std::memcpy(bytes, &word, 8);
    return bytes[0];
}

TraceConfig* TraceConfig::Create() {
    TraceConfig* config = new (std::nothrow) TraceConfig;
    if (config == nullptr) return nullptr;
    RegisterBuiltinFacilities();
    return config;
}

TraceConfig::~TraceConfig() {
    if (RecordQueue* queue = Queue()) {
        queue->Stop();
        SetQueue(nullptr);
        delete queue;
    }
}

void TraceConfig::RegisterHandler(uint32_t facilityWord, TraceHandlerFunc handler) {
    const HandlerTable* current = Handlers();
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
        next->entries[low].handler = handler;
    } else {
        if (next->count >= kMaxHandlers) return;
        for (uint32_t i = next->count; i > low; --i) next->entries[i] = next->entries[i - 1];
        next->entries[low] = HandlerEntry{};
        next->entries[low].facilityWord = facilityWord;
        next->entries[low].handler = handler;
        ++next->count;
    }
    handlers_.store(next.get(), std::memory_order_release);
    handlerTables_.push_back(std::move(next));
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
    file = other.file;
    console.CopyBaseFrom(other.console);
    client.AssignFrom(other.client);
    quiet.store(other.quiet.load());
    crashRecord = other.crashRecord;
    started = false;
    refresh = true;
}

}  // namespace vextrel
