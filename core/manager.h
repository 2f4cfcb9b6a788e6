// CVextrelManager: the single process-wide owner of the configurations, reached through the
// process-wide manager pointer.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/priority_table.h"
#include "core/trace_config.h"

namespace vextrel {

// An immutable list of configurations that trace calls walk without a lock.
struct ConfigSnapshot {
    uint32_t count = 0;
    TraceConfig* const* items = nullptr;
};

class CVextrelManager {
public:
    // Empty list, global table all 17, tableDirty set. Null when memory is exhausted.
    static CVextrelManager* Create();

    // Destroys the configurations from the last to the first (stopping their writers).
    virtual ~CVextrelManager();
    CVextrelManager(const CVextrelManager&) = delete;
    CVextrelManager& operator=(const CVextrelManager&) = delete;

    // The owned list as the lifecycle thread changes it; may hold empty slots in between.
    std::vector<TraceConfig*> configs;
    PriorityTable globalTable{kPriorityOff};
    std::atomic<bool> tableDirty{true};

    // Makes the current `configs` (empty slots left out) the list that trace calls walk. Earlier
    // lists stay allocated until the manager dies, so a trace call that still walks one is safe.
    // The caller must not destroy a configuration that a published list holds while trace calls
    // may still walk it.
    void PublishConfigs();

    // The list that trace calls walk.
    ConfigSnapshot Snapshot() const {
        const std::vector<TraceConfig*>* list = published_.load(std::memory_order_acquire);
        if (list == nullptr) return {};
        return {static_cast<uint32_t>(list->size()), list->data()};
    }

private:
    CVextrelManager() = default;

    std::atomic<const std::vector<TraceConfig*>*> published_{nullptr};
    std::vector<std::unique_ptr<std::vector<TraceConfig*>>> publishedLists_;
};

// Appends a configuration to the manager's list and marks the global table dirty.
void AddConfig(CVextrelManager* manager, TraceConfig* config);

// Recomputes the global table as the entry-wise minimum over every tracer of every configuration,
// when tableDirty is set or `force` is true; clears tableDirty.
void RebuildGlobalPriorityMap(CVextrelManager* manager, bool force);

// The published manager, or null.
CVextrelManager* CurrentManager();
// Publishes `manager` as the current one (null withdraws it); returns the previous one.
CVextrelManager* ExchangeManager(CVextrelManager* manager);

}  // namespace vextrel
