// Builds managers and configurations by hand for tests of the trace core, publishes them as the
// current manager and tears them down again; stands in for the writer thread on their rings.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/manager.h"
#include "core/message_formatter.h"
#include "core/record_queue.h"
#include "core/trace_config.h"
#include "core/trace_entry.h"

namespace vextrel::testing {

// A manager published as the current one for the life of the object.
class PublishedManager {
public:
    PublishedManager() : manager_(CVextrelManager::Create()) { ExchangeManager(manager_); }
    ~PublishedManager() {
        ExchangeManager(nullptr);
        ClearGlobalSummary();
        delete manager_;
    }
    PublishedManager(const PublishedManager&) = delete;
    PublishedManager& operator=(const PublishedManager&) = delete;

    CVextrelManager* get() const { return manager_; }
    CVextrelManager* operator->() const { return manager_; }

    // Adds a configuration whose file tracer takes `facility` from `priority` up, with a ring of
    // `queueSize` records that no writer drains; publishes the list and rebuilds the global table.
    TraceConfig* AddUndrainedConfig(uint32_t facility, uint32_t priority, uint32_t queueSize = 4096) {
        TraceConfig* config = TraceConfig::Create();
        config->file.SetFacilityPriority(facility, priority);
        auto* queue = new RecordQueue;
        queue->AllocateRecords(queueSize);
        config->SetQueue(queue);
        AddConfig(manager_, config);
        manager_->PublishConfigs();
        RebuildGlobalPriorityMap(manager_, false);
        return config;
    }

private:
    CVextrelManager* manager_;
};

// Turns a committed record that holds a captured call into its text, in place, as the call would
// have formatted it, so that tests read every record's text from its slot.
inline void FinishRecordText(TraceRecord& record) {
    if (record.ready.value.load(std::memory_order_relaxed) != kRecordCaptured) return;
    char text[kRecordTextCapacity];
    FormatCapturedMessage(text, sizeof text, record.text, sizeof record.text);
    std::memcpy(record.text, text, sizeof text);
    record.ready.value.store(kRecordText, std::memory_order_relaxed);
}

// Takes the next committed record through the ring's own take and release, as the writer does, and
// hands it to `use` in between, its text finished. False when no record is ready.
template <typename Use>
bool TakeNext(RecordQueue& queue, Use&& use) {
    RecordConsumerSide consumer(queue);
    TraceRecord* record = consumer.TakeNext();
    if (record == nullptr) return false;
    FinishRecordText(*record);
    use(*record);
    consumer.Release(record);
    consumer.ReportReleased();
    return true;
}

// The fields of a taken record.
struct RecordCopy {
    bool toFile = false, toConsole = false, toClient = false, quiet = false;
    uint32_t threadId = 0, facilityId = 0;
    uint64_t timestamp = 0, startTimestamp = 0;
    std::string name, text;
};

// Takes every committed record of an undrained queue in ring order, as the writer would, and
// returns their fields, or only their texts.
inline std::vector<RecordCopy> TakeCopies(RecordQueue& queue) {
    std::vector<RecordCopy> copies;
    while (TakeNext(queue, [&](const TraceRecord& r) {
        copies.push_back({r.toFile != 0, r.toConsole != 0, r.toClient != 0, r.quiet != 0, r.threadId, r.facilityId,
                          r.timestamp, r.startTimestamp, r.name, r.text});
    })) {}
    return copies;
}
inline std::vector<std::string> TakeRecords(RecordQueue& queue) {
    std::vector<std::string> texts;
    for (RecordCopy& copy : TakeCopies(queue)) texts.push_back(std::move(copy.text));
    return texts;
}

// An address as the trace lines print it: 16 upper-case hex digits.
inline std::string Hex16(const void* address) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
    return text;
}

}  // namespace vextrel::testing
