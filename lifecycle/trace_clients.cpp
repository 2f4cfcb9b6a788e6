#include "lifecycle/trace_clients.h"

#include "config/config_parser.h"
#include "core/manager.h"
#include "core/trace_config.h"
#include "host/host_info.h"
#include "lifecycle/library_lifecycle.h"

namespace vextrel {

void AddTraceClient(TraceClient* client, const char* configText, int32_t length) {
    CVextrelManager* manager = CurrentManager();
    if (manager == nullptr || client == nullptr) return;
    try {
        // The new configuration joins the manager's list but not the list that trace calls walk:
        // consolidation may merge it into an existing one and destroy it before anyone sees it.
        std::unique_ptr<TraceConfig> config =
            ParseConfigText(configText, configText == nullptr ? 0 : length, ConfigContext{Host().defaultTraceFolder});
        if (config == nullptr) return;
        config->client.AddClient(client);
        AddConfig(manager, config.get());
        config.release();  // the manager owns it now
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
