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
    // The summary trace calls test first: each entry is at or below the entry of every tracer of
    // every configuration a trace call can reach, so a call below it is wanted by none of them.
    // Whatever lowers a tracer entry lowers the summary first; only a rebuild raises it.
    PriorityTable globalTable{kPriorityOff};
    bool tableDirty = true;

    // Whether some configuration may want a message of facility `id` (below kFacilityIdLimit) at
    // `priority`: false means no tracer takes it; true asks for the exact walk.
    bool MayWant(uint32_t id, uint32_t priority) const { return globalTable.Passes(id, priority); }

    // Lowers the summary to every entry of the configuration's three tracers.
    void LowerGlobalTo(const TraceConfig& config);

    // Lowers the summary entry of `id` to `priority` when that is lower.
    void LowerGlobalEntry(uint32_t id, uint32_t priority);

    // Makes the current `configs` (empty slots left out) the list that trace calls walk, lowering
    // the summary to each of them first. Earlier lists stay allocated until the manager dies, so a
    // trace call that still walks one is safe.
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

// Appends a configuration to the manager's list, lowers the global table to its tracers (a merge
// into a running configuration that follows then cannot lower a tracer below it) and marks the
// table dirty.
void AddConfig(CVextrelManager* manager, TraceConfig* config);

// Recomputes the global table as the entry-wise minimum over every tracer of every configuration,
// when tableDirty is set or `force` is true; clears tableDirty.
void RebuildGlobalPriorityMap(CVextrelManager* manager, bool force);

namespace detail {
// The published manager; read inline by every trace call.
inline std::atomic<CVextrelManager*> g_currentManager{nullptr};
}  // namespace detail

// The published manager, or null.
inline CVextrelManager* CurrentManager() { return detail::g_currentManager.load(std::memory_order_acquire); }
// Publishes `manager` as the current one (null withdraws it); returns the previous one.
CVextrelManager* ExchangeManager(CVextrelManager* manager);

}  // namespace vextrel
