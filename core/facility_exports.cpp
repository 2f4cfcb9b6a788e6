// The exported facility and priority functions.
#include "core/facility.h"
#include "core/manager.h"
#include "core/trace_config.h"
#include "include/vextrel.h"

using namespace vextrel;

extern "C" {

VEXTREL_API int32_t VextrelRegisterFacility(const char* name, uint32_t id) { return RegisterFacility(name, id); }

VEXTREL_API bool VextrelFacilityOnFunc(uint32_t facilityWord) {
    CVextrelManager* manager = CurrentManager();
    if (manager == nullptr) return false;
    const uint32_t id = FacilityIdOfWord(facilityWord);
    if (id >= kFacilityIdLimit) return false;
    return manager->globalTable.Passes(id, QueryPriorityOfWord(facilityWord));
}

VEXTREL_API bool VextrelIsActiveFunc(void) {
    CVextrelManager* manager = CurrentManager();
    return manager != nullptr && manager->Snapshot().count != 0;
}

VEXTREL_API uint32_t VextrelChangeFacilityPriorityFunc(uint32_t facilityId, uint32_t priorityWord) {
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
            chosen->Table().Set(facilityId, priority);
            break;
        }
    }
    RebuildGlobalPriorityMap(manager, true);
    return result;
}

}  // extern "C"
