// TraceConfig: one configured trace target (one configuration file or one client registration):
// three tracers, the options, the name, the handler table and the record queue.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/tracer.h"
#include "core/record_queue.h"
#include "include/vextrel.h"

namespace vextrel {

class RecordQueue;

constexpr uint32_t kDefaultQueueSize = kSmallQueueSize;
constexpr uint32_t kConfigPathCapacity = 1024;
constexpr uint32_t kConfigNameCapacity = 32;
constexpr uint32_t kMaxHandlers = 256;

// A per-facility-word message handler entry; the facility word (priority byte included) is the key.
struct HandlerEntry {
    uint32_t facilityWord = 0;
    uint32_t selector = 0;
    uint8_t flags[32] = {};
    TraceHandlerFunc handler = nullptr;
};

// The used entries of a handler table, ascending by facility word, each word at most once.
struct HandlerTable {
    uint32_t count = 0;
    HandlerEntry entries[kMaxHandlers];

    // The entry for exactly this facility word, or null (bisection over the used entries).
    const HandlerEntry* Find(uint32_t facilityWord) const;
};

// The configuration's name: at most 31 characters, read by trace calls on any thread while the host
// may rename the configuration; stored as four 64-bit words so readers copy it without a lock.
class ConfigName {
public:
    // Copies at most 31 characters of `name` (null: empty) and terminates it.
    void Set(const char* name);
    // Copies the whole 32-byte name, terminator included.
    void CopyTo(char* destination) const;
    bool IsEmpty() const { return words_[0].load(std::memory_order_relaxed) == 0 || FirstByte() == 0; }
    // A copy as a terminated string buffer.
    void Get(char (&destination)[kConfigNameCapacity]) const { CopyTo(destination); }

private:
    char FirstByte() const;
    std::atomic<uint64_t> words_[kConfigNameCapacity / 8] = {};
};

class TraceConfig {
public:
    // A new configuration with default members, or null when memory is exhausted. The first
    // configuration created in the process builds the facility registry.
    static TraceConfig* Create();

    // Stops the writer thread (closing line into the trace file) and releases the queue, then the
    // tracers.
    ~TraceConfig();
    TraceConfig(const TraceConfig&) = delete;
    TraceConfig& operator=(const TraceConfig&) = delete;

    ConsoleTracer console;
    FileTracer file;
    ClientTracer client;
    uint32_t queueSize = kDefaultQueueSize;
    char configPath[kConfigPathCapacity] = {};
    char traceFolder[kConfigPathCapacity] = {};
    std::atomic<bool> quiet{false};
    bool started = false;
    bool refresh = false;
    // Whether a crash of the host is recorded in the trace files (a host that owns its crash
    // handling turns it off; one configuration turning it off turns it off for the process).
    bool crashRecord = true;
    ConfigName name;

    // The handler table that trace calls read, or null while no handler was registered. A
    // registration publishes a new table and keeps the old one until this configuration dies, so a
    // trace call never reads a table that is being changed or freed.
    const HandlerTable* Handlers() const { return handlers_.load(std::memory_order_acquire); }
    // Sets the handler of a facility word (insert in order, or replace); a 257th word is ignored.
    void RegisterHandler(uint32_t facilityWord, TraceHandlerFunc handler);

    // The record queue, or null. Published only once its writer runs.
    RecordQueue* Queue() const { return queue_.load(std::memory_order_acquire); }
    void SetQueue(RecordQueue* queue) { queue_.store(queue, std::memory_order_release); }

    // Merge of a later configuration with the same trace folder into this one.
    void MergeFrom(TraceConfig& other);
    // A running configuration takes the settings of a freshly read one with the same config path.
    void UpdateFrom(TraceConfig& other);

private:
    TraceConfig() = default;

    std::atomic<const HandlerTable*> handlers_{nullptr};
    std::vector<std::unique_ptr<HandlerTable>> handlerTables_;
    std::atomic<RecordQueue*> queue_{nullptr};
};

}  // namespace vextrel
