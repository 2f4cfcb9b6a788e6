#include "lifecycle/trace_clients.h"

#include "config/config_parser.h"
#include "core/manager.h"
#include "core/trace_config.h"
#include "lifecycle/library_lifecycle.h"

namespace vextrel {

void AddTraceClient(TraceClient* client, const char* configText, int32_t length) {
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

void RemoveTraceClient(TraceClient* client) {
    CVextrelManager* manager = CurrentManager();
    if (manager == nullptr) return;
    for (TraceConfig* config : manager->configs) {
        if (config != nullptr) config->client.RemoveClient(client);
    }
    StartConfigsGuarded(manager, true);
}

void RegisterHandler(uint32_t facilityWord, TraceHandlerFunc handler) {
    CVextrelManager* manager = CurrentManager();
    if (manager == nullptr) return;
    for (TraceConfig* config : manager->configs) {
        if (config != nullptr) config->RegisterHandler(facilityWord, handler);
    }
}

}  // namespace vextrel
