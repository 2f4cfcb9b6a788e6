// TraceConfig: one configured trace target (one configuration file or one client registration):
// three tracers, the options, the name, the handler table and the record queue.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>

#include "core/record_queue.h"
#include "core/tracer.h"
#include "include/vextrel.h"

namespace vextrel {

class RecordQueue;

constexpr uint32_t kDefaultQueueSize = kSmallQueueSize;
constexpr uint32_t kConfigPathCapacity = 1024;
constexpr uint32_t kConfigNameCapacity = 32;
constexpr uint32_t kMaxHandlers = 256;

// A per-facility-word message handler entry; the facility word (priority byte included) is the key.
// The handler is replaced in place, so re-registering a word allocates nothing.
struct HandlerEntry {
    uint32_t facilityWord = 0;
    uint32_t selector = 0;
    uint8_t flags[32] = {};
    // The handler; trace calls read it while a registration may replace it.
    TraceHandlerFunc Handler() const {
        return reinterpret_cast<TraceHandlerFunc>(handler_.load(std::memory_order_acquire));
    }
    void SetHandler(TraceHandlerFunc handler) {
        handler_.store(reinterpret_cast<uintptr_t>(handler), std::memory_order_release);
    }

    HandlerEntry() = default;
    // Copies every field (the handler as it is now).
    HandlerEntry(const HandlerEntry& other) { *this = other; }
    HandlerEntry& operator=(const HandlerEntry& other);

private:
    // The function's address: an atomic of the function type itself would drop its calling convention.
    std::atomic<uintptr_t> handler_{0};
};

// The used entries of a handler table, ascending by facility word, each word at most once.
struct HandlerTable {
    uint32_t count = 0;
    HandlerEntry entries[kMaxHandlers];

    // The entry for exactly this facility word, or null (bisection over the used entries).
    const HandlerEntry* Find(uint32_t facilityWord) const;
};

// The configuration's name: at most 31 characters, read by trace calls on any thread while the host
// renames the configuration (one renaming thread at a time). Each rename writes the next of eight
// slots and then publishes its generation; a reader copies the published slot and keeps the copy
// only when fewer than seven renames followed meanwhile, so it holds the old or the new name, never
// a mix, without a lock.
class ConfigName {
public:
    // Copies at most 31 characters of `name` (null: empty) and terminates it.
    void Set(const char* name);
    // Copies the whole 32-byte name, terminator included; a reader overtaken by renames four times in
    // a row copies the empty name rather than a mix. Inline: every record takes a copy.
    void CopyTo(char* destination) const {
        for (int attempt = 0; attempt < 4; ++attempt) {
            const uint32_t seen = generation_.load(std::memory_order_acquire);
            // Word by word straight into the destination: a copy through a local array would be read
            // back wider than it was written, which the processor cannot forward from its stores.
            for (uint32_t w = 0; w < kWords; ++w) {
                const uint64_t word = slots_[seen % kSlots][w].load(std::memory_order_relaxed);
                std::memcpy(destination + 8 * w, &word, 8);
            }
            std::atomic_thread_fence(std::memory_order_acquire);
            // The slot is rewritten only by the rename that publishes generation seen + kSlots.
            if (generation_.load(std::memory_order_relaxed) - seen < kSlots - 1) {
                destination[kConfigNameCapacity - 1] = '\0';
                return;
            }
        }
        destination[0] = '\0';
    }
    // A copy as a terminated string buffer.
    void Get(char (&destination)[kConfigNameCapacity]) const { CopyTo(destination); }

private:
    static constexpr uint32_t kSlots = 8;
    static constexpr uint32_t kWords = kConfigNameCapacity / 8;
    std::atomic<uint32_t> generation_{0};
    std::atomic<uint64_t> slots_[kSlots][kWords] = {};
};

class TraceConfig {
public:
    // A new configuration with default members, or null when memory is exhausted. The first
    // configuration created in the process builds the facility registry.
    static TraceConfig* Create();

    // Stops the writer thread unless it was stopped (it drains the ring and writes the closing line)
    // and releases the queue, then the tracers. Configurations that may have a running writer are
    // destroyed through DestroyConfig.
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

    // The handler table that trace calls read (under a ReadGuard), or null while no handler was
    // registered. A new word publishes a new table and retires the old one.
    const HandlerTable* Handlers() const { return handlers_.load(std::memory_order_seq_cst); }
    // Sets the handler of a facility word (insert in order, or replace); a 257th word is ignored.
    void RegisterHandler(uint32_t facilityWord, TraceHandlerFunc handler);

    // The record queue, or null. Published only once its writer runs.
    RecordQueue* Queue() const { return queue_.load(std::memory_order_acquire); }
    void SetQueue(RecordQueue* queue) { queue_.store(queue, std::memory_order_release); }

    // Merge of a later configuration with the same trace folder into this one.
    void MergeFrom(TraceConfig& other);
    // A running configuration takes the settings of a freshly read one with the same config path;
    // its trace file stays until the caller hands it a new one (see SwitchConfigFile).
    void UpdateFrom(TraceConfig& other);

private:
    TraceConfig() = default;

    std::atomic<const HandlerTable*> handlers_{nullptr};
    std::atomic<RecordQueue*> queue_{nullptr};
};

// Stops the configuration's writer (it drains what was committed, then writes the closing line) and
// deletes the configuration. A writer still running after the stop wait owns the configuration from
// then on and retires it when it ends, so nothing is freed under it. Null is ignored. For
// configurations no trace call can reach; a published one is stopped with StopConfig and retired.
void DestroyConfig(TraceConfig* config);

// Stops the configuration's writer as DestroyConfig does, without freeing anything. True when the
// caller still owns the configuration; false when the writer outlived the stop wait and owns it.
// Configurations stopped together share one `deadlineTicks` (0: the stop wait from now).
bool StopConfig(TraceConfig* config, uint64_t deadlineTicks = 0);

}  // namespace vextrel
