// Trace clients and per-facility-word message handlers.
#include "api/guarded.h"
#include "include/vextrel.h"
#include "lifecycle/control_lock.h"
#include "lifecycle/trace_clients.h"

using namespace vextrel;

extern "C" {

VEXTREL_API void VextrelAddTraceClient(TraceClient* client, const char* configText, int32_t length) {
    Guarded([&] { UnderControlLock(ControlKind::Structure, [&] { AddTraceClient(client, configText, length); }); });
}

VEXTREL_API void VextrelRemoveTraceClient(TraceClient* client) {
    Guarded([&] { UnderControlLock(ControlKind::Structure, [&] { RemoveTraceClient(client); }); });
}

VEXTREL_API void VextrelRegisterHandlerFunc(uint32_t facilityWord, TraceHandlerFunc handler) {
    Guarded([&] { UnderControlLock(ControlKind::Setting, [&] { RegisterHandler(facilityWord, handler); }); });
}

}  // extern "C"
