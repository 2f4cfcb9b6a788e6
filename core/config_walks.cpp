#include "core/config_walks.h"

#include <atomic>
#include <memory>
#include <string>

#include "core/facility.h"
#include "core/manager.h"
#include "core/reclaim.h"
#include "core/trace_config.h"

namespace vextrel {

bool AnyConfigActive() {
    const ReadGuard guard;
    CVextrelManager* manager = CurrentManager();
    return manager != nullptr && manager->Snapshot().count != 0;
}

uint32_t ChangeFacilityPriority(uint32_t facilityId, uint32_t priorityWord) {
    CVextrelManager* manager = CurrentManager();
    const uint32_t priority = PriorityByteOfWord(priorityWord);
    if (manager == nullptr || facilityId >= kFacilityIdLimit || priority == 0) return 0;
    uint32_t result = 0;
    const ConfigSnapshot configs = manager->Snapshot();
    for (uint32_t i = 0; i < configs.count; ++i) {
        TraceConfig* config = configs.items[i];
        BaseTracer* const tracers[] = {&config->console, &config->file, &config->client};
        BaseTracer* chosen = nullptr;
        for (BaseTracer* tracer : tracers) {
            if (tracer->IsActive(facilityId, VXP_URGENT)) {
                chosen = tracer;
                break;
            }
        }
        if (chosen != nullptr) {
            result = chosen->Table().Get(facilityId) << 24;
            // The summary goes down before the tracer does, so no trace call in between is
            // dropped; the rebuild below raises it again where nothing wants it lower.
            LowerGlobalEntry(facilityId, priority);
            chosen->Table().Set(facilityId, priority);
            break;
        }
    }
    RebuildGlobalPriorityMap(manager, true);
    return result;
}

void SetConfigNames(const char* name) {
    CVextrelManager* manager = CurrentManager();
    if (manager == nullptr) return;
    const ConfigSnapshot configs = manager->Snapshot();
    for (uint32_t i = 0; i < configs.count; ++i) configs.items[i]->name.Set(name);
}

namespace {

// The last path handed to the host. Replaced (and the old copy retired) only when the path changed,
// which takes a restart, reload or a change of files, so a copy stays valid as long as the host was
// told it would.
std::atomic<const std::string*> g_hostPathCopy{nullptr};

const char* KeepHostPathCopy(std::string path) {
    auto copy = std::make_unique<std::string>(std::move(path));
    const ReadGuard guard;  // the copy compared with is not freed meanwhile
    const std::string* kept = g_hostPathCopy.load(std::memory_order_seq_cst);
    for (;;) {
        if (kept != nullptr && *kept == *copy) return kept->c_str();
        if (g_hostPathCopy.compare_exchange_strong(kept, copy.get(), std::memory_order_seq_cst)) break;
    }
    Retire(const_cast<std::string*>(kept));
    return copy.release()->c_str();
}

}  // namespace

void ReleaseHostPathCopy() { delete g_hostPathCopy.exchange(nullptr, std::memory_order_seq_cst); }

const char* CurrentTracePath() {
    std::string path;
    {
        // The path is copied while the guard keeps the configuration and its file alive.
        const ReadGuard guard;
        CVextrelManager* manager = CurrentManager();
        if (manager == nullptr) return "";
        const ConfigSnapshot configs = manager->Snapshot();
        if (configs.count == 0 || configs.items[0] == nullptr) return "";
        path = configs.items[0]->file.GetPath();
    }
    return path.empty() ? "" : KeepHostPathCopy(std::move(path));
}

void DumpWriteStats() {
    const ReadGuard guard;
    CVextrelManager* manager = CurrentManager();
    if (manager == nullptr) return;
    const ConfigSnapshot configs = manager->Snapshot();
    for (uint32_t i = 0; i < configs.count; ++i) {
        // The statistics hook has nothing to report; the walk keeps each file's writer alive for it.
        std::shared_ptr<TraceFileSink> writer = configs.items[i]->file.Writer();
        (void)writer;
    }
}

}  // namespace vextrel
