// CVextrelManager: the single process-wide owner of the configurations, reached through the
// process-wide manager pointer, and the global summary that trace calls test before anything else.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/priority_table.h"
#include "core/trace_config.h"

namespace vextrel {

// An immutable list of configurations that trace calls walk without a lock; valid while the
// caller holds a ReadGuard taken before it read the manager.
struct ConfigSnapshot {
    uint32_t count = 0;
    TraceConfig* const* items = nullptr;
};

class CVextrelManager {
public:
    // Empty list, tableDirty set; creates the global summary (all off) when there is none. Null when
    // memory is exhausted.
    static CVextrelManager* Create();

    // Destroys the configurations from the last to the first (stopping writers not stopped yet)
    // and frees the published list. A published manager is retired, never deleted directly.
    virtual ~CVextrelManager();
    CVextrelManager(const CVextrelManager&) = delete;
    CVextrelManager& operator=(const CVextrelManager&) = delete;

    // The owned list as the control side changes it; may hold empty slots in between.
    std::vector<TraceConfig*> configs;
    // Set when a configuration joined since the last rebuild of the summary.
    std::atomic<bool> tableDirty{true};

    // Lowers the summary to every entry of the configuration's three tracers.
    void LowerGlobalTo(const TraceConfig& config);

    // Makes the current `configs` (empty slots left out) the list that trace calls walk, lowering
    // the summary to each of them first; the list it replaces is retired.
    void PublishConfigs();

    // The list that trace calls walk (see ConfigSnapshot).
    ConfigSnapshot Snapshot() const {
        const PublishedList* list = published_.load(std::memory_order_seq_cst);
        if (list == nullptr) return {};
        return {static_cast<uint32_t>(list->size()), list->data()};
    }

private:
    using PublishedList = std::vector<TraceConfig*>;
    CVextrelManager() = default;

    std::atomic<const PublishedList*> published_{nullptr};
};

// Appends a configuration to the manager's list, lowers the summary to its tracers (a merge into a
// running configuration that follows then cannot lower a tracer below it) and marks the table dirty.
void AddConfig(CVextrelManager* manager, TraceConfig* config);

// Recomputes the summary as the entry-wise minimum over every tracer of every configuration of
// `manager` (which must be the published one, or about to be), when tableDirty is set or `force`
// is true; clears tableDirty.
void RebuildGlobalPriorityMap(CVextrelManager* manager, bool force);

namespace detail {
// The published manager and the global summary; read inline by every trace call.
inline std::atomic<CVextrelManager*> g_currentManager{nullptr};
inline std::atomic<PriorityTable*> g_globalSummary{nullptr};
}  // namespace detail

// The published manager, or null. What it points to may be used only under a ReadGuard taken
// before this read (or on the control side, which is the only one to replace it).
inline CVextrelManager* CurrentManager() { return detail::g_currentManager.load(std::memory_order_seq_cst); }

// Publishes `manager` as the current one in one exchange (null withdraws it); returns the previous
// one, which the caller retires.
CVextrelManager* ExchangeManager(CVextrelManager* manager);

// The summary trace calls test first: each entry is at or below the entry of every tracer of every
// configuration a trace call can reach, so a call below it is wanted by none of them. Whatever
// lowers a tracer entry lowers the summary first; only a rebuild raises it. It lives apart from the
// managers so that the filtered-out test reads it without a ReadGuard; all off without a manager.
// Null before the first manager and after the unload.
inline const PriorityTable* GlobalSummary() { return detail::g_globalSummary.load(std::memory_order_acquire); }

// Whether some configuration may want a message of facility `id` (below kFacilityIdLimit) at
// `priority`: false means no tracer takes it; true asks for the exact walk.
inline bool MayWant(uint32_t id, uint32_t priority) {
    const PriorityTable* summary = GlobalSummary();
    return summary != nullptr && summary->Passes(id, priority);
}

// Lowers the summary entry of `id` to `priority` when that is lower.
void LowerGlobalEntry(uint32_t id, uint32_t priority);

// Sets every summary entry to off (after the manager was withdrawn).
void ClearGlobalSummary();

// Frees the summary at the unload, when no trace call can run any more.
void ReleaseGlobalSummary();

}  // namespace vextrel
