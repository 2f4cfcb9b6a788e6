#include "lifecycle/trace_clients.h"

#include <memory>
#include <mutex>

#include "config/config_consolidation.h"
#include "config/config_parser.h"
#include "core/manager.h"
#include "core/record_queue.h"
#include "core/trace_config.h"
#include "host/host_info.h"
#include "lifecycle/config_start.h"
#include "lifecycle/control_lock.h"
#include "platform/clock.h"

namespace vextrel {
namespace {

// The counter value the stop wait from now ends at.
uint64_t StopWaitDeadline() {
    return platform::ReadCounter() + platform::CounterFrequency() * kStopWaitMilliseconds / 1000u;
}

// Waits until the configuration's writer has handed on every record reserved before this call,
// the deadline at most (a writer that stops or is stuck in a client is not waited for beyond it).
void AwaitWriterCaughtUp(const TraceConfig& config, uint64_t deadline) {
    const RecordQueue* queue = config.Queue();
    if (queue == nullptr) return;
    const uint32_t end = queue->NextReservedPosition();
    while (static_cast<int32_t>(queue->ReadPosition() - end) < 0 && !queue->Stopping() &&
           platform::ReadCounter() < deadline) {
        platform::SleepMilliseconds(1);
    }
}

void WriteHeadersAgain(CVextrelManager* manager) {
    for (TraceConfig* config : manager->configs) {
        if (config != nullptr) WriteHeaderAgain(*config);
    }
}

}  // namespace

void AddTraceClient(TraceClient* client, const char* configText, int32_t length) {
    CVextrelManager* manager = CurrentManager();
    if (manager == nullptr || client == nullptr) return;
    std::unique_ptr<TraceConfig> config =
        ParseConfigText(configText, configText == nullptr ? 0 : length, ConfigContext{Host().defaultTraceFolder});
    if (config == nullptr) return;
    config->client.AddClient(client);
    // Merged before any trace call can see it, into the configuration it would consolidate into.
    if (TraceConfig* target = ConfigWithFolder(manager, config->traceFolder)) {
        {
            std::lock_guard<std::mutex> settings(SettingsMutex());
            manager->LowerGlobalTo(*config);
            target->MergeFrom(*config);
        }
        WriteHeadersAgain(manager);
        return;
    }
    WriteHeadersAgain(manager);
    StartConfig(*config);
    std::lock_guard<std::mutex> settings(SettingsMutex());
    AddConfig(manager, config.get());
    config.release();  // the manager owns it now
    manager->PublishConfigs();
    RebuildGlobalPriorityMap(manager, false);
}

void RemoveTraceClient(TraceClient* client) {
    CVextrelManager* manager = CurrentManager();
    if (manager == nullptr) return;
    const uint64_t deadline = StopWaitDeadline();
    for (TraceConfig* config : manager->configs) {
        if (config == nullptr || !config->client.HasClient(client)) continue;
        // The client gets every record traced before this call first.
        AwaitWriterCaughtUp(*config, deadline);
        config->client.RemoveClient(client, deadline);
    }
    WriteHeadersAgain(manager);
}

void RegisterHandler(uint32_t facilityWord, TraceHandlerFunc handler) {
    CVextrelManager* manager = CurrentManager();
    if (manager == nullptr) return;
    const ConfigSnapshot configs = manager->Snapshot();
    for (uint32_t i = 0; i < configs.count; ++i) configs.items[i]->RegisterHandler(facilityWord, handler);
}

}  // namespace vextrel
