// The exported registration of trace clients and per-facility-word message handlers.
#include "config/config_parser.h"
#include "core/lifecycle.h"
#include "core/manager.h"
#include "core/trace_config.h"
#include "include/vextrel.h"

using namespace vextrel;

extern "C" {

// A text that leaves no tracer active yields no configuration: the client is then not stored and
// nothing is restarted. A null client is ignored.
VEXTREL_API void VextrelAddTraceClient(TraceClient* client, const char* configText, int32_t length) {
    CVextrelManager* manager = CurrentManager();
    if (manager == nullptr || client == nullptr) return;
    try {
        // The new configuration joins the manager's list but not the list that trace calls walk:
        // consolidation may merge it into an existing one and destroy it before anyone sees it.
        TraceConfig* config = ParseConfigText(configText, configText == nullptr ? 0 : length, manager);
        if (config == nullptr) return;
        config->client.AddClient(client);
        StartConfigsGuarded(manager, true);
    } catch (...) {
    }
}

VEXTREL_API void VextrelRemoveTraceClient(TraceClient* client) {
    CVextrelManager* manager = CurrentManager();
    if (manager == nullptr) return;
    for (TraceConfig* config : manager->configs) {
        if (config != nullptr) config->client.RemoveClient(client);
    }
    StartConfigsGuarded(manager, true);
}

VEXTREL_API void VextrelRegisterHandlerFunc(uint32_t facilityWord, TraceHandlerFunc handler) {
    CVextrelManager* manager = CurrentManager();
    if (manager == nullptr) return;
    for (TraceConfig* config : manager->configs) {
        if (config != nullptr) config->RegisterHandler(facilityWord, handler);
    }
}

}  // extern "C"
