#include "core/config_walks.h"

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

}  // namespace vextrel
