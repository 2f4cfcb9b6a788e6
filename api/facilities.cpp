// Facilities and priorities.
#include "api/guarded.h"
#include "core/config_walks.h"
#include "core/facility.h"
#include "include/vextrel.h"
#include "lifecycle/control_lock.h"

using namespace vextrel;

extern "C" {

VEXTREL_API int32_t VextrelRegisterFacility(const char* name, uint32_t id) {
    return Guarded(int32_t{0}, [&] { return RegisterFacility(name, id); });
}

VEXTREL_API bool VextrelFacilityOnFunc(uint32_t facilityWord) {
    return Guarded(false, [&] { return FacilityOn(facilityWord); });
}

VEXTREL_API bool VextrelIsActiveFunc(void) {
    return Guarded(false, [] { return AnyConfigActive(); });
}

VEXTREL_API uint32_t VextrelChangeFacilityPriorityFunc(uint32_t facilityId, uint32_t priorityWord) {
    return Guarded(uint32_t{0}, [&] {
        return UnderControlLock(ControlKind::Setting, uint32_t{0},
                                [&] { return ChangeFacilityPriority(facilityId, priorityWord); });
    });
}

}  // extern "C"
