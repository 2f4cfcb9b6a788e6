// The hot path: everything here runs on the host's threads, lock-free and allocation-free.
#include "core/trace_entry.h"

#include <atomic>
#include <cstring>

#include "core/facility.h"
#include "core/manager.h"
#include "core/message_formatter.h"
#include "core/reclaim.h"
#include "core/record_queue.h"
#include "core/trace_config.h"
#include "host/host_info.h"
#include "platform/clock.h"

namespace vextrel {
namespace {

// The record's start timestamp: the caller's stamp when it is set; otherwise 0, and a zero stamp
// is set to this call's timestamp.
uint64_t StartTimestampFor(uint64_t* startStamp, uint64_t timestamp) {
    if (startStamp == nullptr) return 0;
    if (*startStamp != 0) return *startStamp;
    *startStamp = timestamp;
    return 0;
}

// What every entry routine does before it looks at the configurations: the timestamp first, then
// the start stamp, then the manager, the global summary and its list. The summary comes after the
// callback and the stamp on purpose: the host sees those even for a call that nothing traces.
struct CallContext {
    uint64_t timestamp = 0;
    uint64_t startTimestamp = 0;
    bool timestampTaken = false;
    uint32_t facilityId = 0;
    uint32_t priority = 0;
    ConfigSnapshot configs;

    // The call's timestamp; a counter reading that BeginCall put off is taken now.
    uint64_t Timestamp() {
        if (!timestampTaken) {
            timestamp = platform::ReadCounter();
            timestampTaken = true;
        }
        return timestamp;
    }
};

// Inlined into the entry routines, as AcceptanceIn is: the call's context and the answers then stay in
// registers instead of passing through memory between small functions.
[[gnu::always_inline]] inline bool BeginCall(uint64_t* startStamp, uint32_t facilityWord, CallContext& call) {
    // A clock callback and a start stamp are seen by the host even when nothing is traced, so they
    // come first. A bare counter reading is seen only in a record: it waits until a configuration
    // accepts the call, which keeps filtered-out calls free of the clock's cost.
    if (ClockCallback callback = InstalledClockCallback()) {
        call.timestamp = callback();
        call.timestampTaken = true;
    } else if (startStamp != nullptr) {
        call.Timestamp();
    }
    if (startStamp != nullptr) call.startTimestamp = StartTimestampFor(startStamp, call.timestamp);
    call.facilityId = FacilityIdOfWord(facilityWord);
    call.priority = TracePriorityOfWord(facilityWord);
    if (call.facilityId >= kFacilityIdLimit || !MayWant(call.facilityId, call.priority)) return false;
    CVextrelManager* manager = CurrentManager();
    if (manager == nullptr) return false;
    call.configs = manager->Snapshot();
    return call.configs.count != 0;
}

// The handler-table test and the three IsActive tests for one configuration; `handler` receives the
// entry's function when the entry is found with a non-zero flag. Inlined into the entry loops: a
// filtered-out call then costs a few loads and compares, and the three answers stay in registers (a
// call would return them packed through the stack, where the processor cannot forward the three
// byte stores to the one wider load).
[[gnu::always_inline]] inline Acceptance AcceptanceIn(const TraceConfig& config, uint32_t facilityWord,
                                                      uint32_t facilityId, uint32_t priority,
                                                      TraceHandlerFunc* handler) {
    if (const HandlerTable* handlers = config.Handlers()) {
        if (const HandlerEntry* entry = handlers->Find(facilityWord)) {
            const bool enabled = entry->selector < sizeof entry->flags && entry->flags[entry->selector] != 0;
            if (!enabled) return {};
            if (handler != nullptr) *handler = entry->Handler();
        }
    }
    Acceptance acceptance;
    acceptance.toConsole = config.console.IsActive(facilityId, priority);
    acceptance.toFile = config.file.IsActive(facilityId, priority);
    acceptance.toClient = config.client.IsActive(facilityId, priority);
    return acceptance;
}

}  // namespace

uint64_t TicksToMicroseconds(uint64_t ticks, double frequency) {
    const double micros = static_cast<double>(ticks) / frequency * 1000000.0;
    // A host clock may return any value and an unprobed frequency is 1: saturate instead of
    // converting a value the result cannot hold.
    if (!(micros >= 0.0)) return 0;
    return micros < 18446744073709551616.0 ? static_cast<uint64_t>(micros) : UINT64_MAX;
}

uint64_t ToMicroseconds(uint64_t ticks) { return TicksToMicroseconds(ticks, Host().counterFrequency); }

uint64_t TakeTimestamp() {
    ClockCallback callback = InstalledClockCallback();
    return callback != nullptr ? callback() : platform::ReadCounter();
}

TraceRecord* ReserveRecord(TraceConfig& config) {
    RecordQueue* queue = config.Queue();
    return queue == nullptr ? nullptr : queue->Reserve();
}

namespace {

// Fills the record's fields, copies the configuration's name and publishes the record to the writer.
[[gnu::always_inline]] inline void FillAndCommit(TraceRecord* record, const Acceptance& acceptance, uint32_t threadId,
                                                 uint32_t facilityId, uint64_t timestamp, uint64_t startTimestamp,
                                                 bool quiet, const ConfigName& name, RecordQueue& queue,
                                                 uint32_t kind) {
    record->threadId = threadId;
    record->facilityId = facilityId;
    record->timestamp = timestamp;
    record->startTimestamp = startTimestamp;
    record->toFile = acceptance.toFile;
    record->toConsole = acceptance.toConsole;
    record->toClient = acceptance.toClient;
    record->quiet = quiet;
    name.CopyTo(record->name);
    queue.Commit(record, kind);
}

}  // namespace

void CommitRecord(TraceRecord* record, const Acceptance& acceptance, uint32_t threadId, uint32_t facilityId,
                  uint64_t timestamp, uint64_t startTimestamp, bool quiet, TraceConfig& config, bool captured) {
    RecordQueue* queue = config.Queue();
    if (queue == nullptr) return;
    FillAndCommit(record, acceptance, threadId, facilityId, timestamp, startTimestamp, quiet, config.name, *queue,
                  captured ? kRecordCaptured : kRecordText);
}

namespace {

// Length of the next record's chunk of a text with `remaining` characters, and how many characters
// to skip after it (1 when the chunk ends at a dropped newline or blank, else 0).
uint32_t NextChunkLength(const char* text, uint32_t remaining, uint32_t* skip) {
    constexpr int kLastOffset = kRecordTextCapacity - 2;  // 510: the last character that fits
    constexpr int kBlankSearchEnd = kLastOffset - 20;     // blanks are looked for in the last 21
    *skip = 0;
    if (remaining < kRecordTextCapacity) return remaining;
    for (int j = kLastOffset; j >= 0; --j) {
        if (text[j] == '\n') {
            *skip = 1;
            return static_cast<uint32_t>(j);
        }
    }
    for (int j = kLastOffset; j >= kBlankSearchEnd; --j) {
        if (text[j] == ' ') {
            *skip = 1;
            return static_cast<uint32_t>(j);
        }
    }
    return kRecordTextCapacity - 1;
}

// Queues one text, cut into records of at most 511 characters, for one configuration; false when
// the queue refused a record (the rest of the text is dropped).
bool QueueText(TraceConfig& config, const Acceptance& acceptance, uint32_t facilityId, uint64_t timestamp,
               uint64_t startTimestamp, const char* text, bool quiet) {
    RecordQueue* const queue = config.Queue();
    if (queue == nullptr) return false;
    const uint32_t threadId = platform::CurrentThreadId();
    size_t length = std::strlen(text);
    uint32_t remaining = length > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(length);
    bool first = true;
    do {
        TraceRecord* record = queue->Reserve();
        if (record == nullptr) return false;
        uint32_t skip = 0;
        const uint32_t chunk = NextChunkLength(text, remaining, &skip);
        std::memcpy(record->text, text, chunk);
        record->text[chunk] = '\0';
        text += chunk + skip;
        remaining -= chunk + skip;
        FillAndCommit(record, acceptance, threadId, facilityId, timestamp, startTimestamp, first ? quiet : true,
                      config.name, *queue, kRecordText);
        first = false;
    } while (remaining > 0);
    return true;
}

}  // namespace

void TraceEntry(uint64_t* startStamp, uint32_t facilityWord, const char* format, va_list args, bool quiet) {
    const ReadGuard guard;
    CallContext call;
    if (!BeginCall(startStamp, facilityWord, call)) return;
    if (format == nullptr) format = "";
    for (uint32_t i = 0; i < call.configs.count; ++i) {
        TraceConfig* config = call.configs.items[i];
        if (config == nullptr) continue;
        TraceHandlerFunc handler = nullptr;
        const Acceptance acceptance = AcceptanceIn(*config, facilityWord, call.facilityId, call.priority, &handler);
        if (!acceptance.Any()) continue;
        const uint64_t timestamp = call.Timestamp();
        RecordQueue* const queue = config->Queue();
        TraceRecord* const record = queue != nullptr ? queue->Reserve() : nullptr;
        if (record == nullptr) {
            // A ring that is ending with its configuration (a swap, an unload) refuses without
            // being full: the configurations after it still get the message.
            if (queue == nullptr || queue->Stopping()) continue;
            return;
        }
        // The format is the host's own; clang's -Wformat-nonliteral asks for a literal here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        // Most calls are captured, and the writer formats them; what must be formatted now (see
        // CaptureMessage) is, and a handler formats the message itself.
        const bool captured = handler == nullptr && CaptureMessage(record->text, kRecordTextCapacity, format, args);
        if (!captured) {
            va_list copy;
            va_copy(copy, args);
            if (handler != nullptr) {
                record->text[0] = '\0';
                handler(facilityWord, record->text, kRecordTextCapacity, format, copy);
                record->text[kRecordTextCapacity - 1] = '\0';
            } else {
                FormatMessageText(record->text, kRecordTextCapacity, format, copy);
            }
            va_end(copy);
        }
#pragma GCC diagnostic pop
        FillAndCommit(record, acceptance, platform::CurrentThreadId(), call.facilityId, timestamp, call.startTimestamp,
                      quiet, config->name, *queue, captured ? kRecordCaptured : kRecordText);
    }
}

void PutsEntry(uint64_t* startStamp, uint32_t facilityWord, const char* text, bool quiet) {
    const ReadGuard guard;
    CallContext call;
    if (!BeginCall(startStamp, facilityWord, call)) return;
    if (text == nullptr) text = "";
    for (uint32_t i = 0; i < call.configs.count; ++i) {
        TraceConfig* config = call.configs.items[i];
        if (config == nullptr) continue;
        const Acceptance acceptance = AcceptanceIn(*config, facilityWord, call.facilityId, call.priority, nullptr);
        if (!acceptance.Any()) continue;
        QueueText(*config, acceptance, call.facilityId, call.Timestamp(), call.startTimestamp, text, quiet);
    }
}

void SetClockCallback(ClockCallback callback) { detail::g_clockCallback.store(callback, std::memory_order_release); }

}  // namespace vextrel
