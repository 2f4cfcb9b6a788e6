// Restart and reload while the host runs.
#include "api/guarded.h"
#include "include/vextrel.h"
#include "lifecycle/control_lock.h"
#include "lifecycle/library_lifecycle.h"

using namespace vextrel;

extern "C" {

VEXTREL_API void VextrelRestart(void) {
    Guarded([] { UnderControlLock(ControlKind::Structure, [] { RestartLibrary(); }); });
}

VEXTREL_API bool VextrelReloadConfigsFunc(void) {
    return Guarded(false,
                   [] { return UnderControlLock(ControlKind::Structure, false, [] { return ReloadConfigs(); }); });
}

}  // extern "C"
