// Trace clients and per-facility-word message handlers.
#include "api/guarded.h"
#include "include/vextrel.h"
#include "lifecycle/trace_clients.h"

using namespace vextrel;

extern "C" {

VEXTREL_API void VextrelAddTraceClient(TraceClient* client, const char* configText, int32_t length) {
    Guarded([&] { AddTraceClient(client, configText, length); });
}

VEXTREL_API void VextrelRemoveTraceClient(TraceClient* client) {
    Guarded([&] { RemoveTraceClient(client); });
}

VEXTREL_API void VextrelRegisterHandlerFunc(uint32_t facilityWord, TraceHandlerFunc handler) {
    Guarded([&] { RegisterHandler(facilityWord, handler); });
}

}  // extern "C"
