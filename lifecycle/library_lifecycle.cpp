#include "lifecycle/library_lifecycle.h"

#include <memory>

#include "config/config_consolidation.h"
#include "config/config_loader.h"
#include "core/manager.h"
#include "core/trace_config.h"
#include "host/host_info.h"
#include "lifecycle/config_start.h"
#include "lifecycle/crash_record.h"
#include "platform/clock.h"

namespace vextrel {
namespace {

// Process-attach notifications not yet matched by a detach. The loader serialises attach and
// detach, so a plain counter serves.
uint32_t g_attachCount = 0;

ConfigContext ConfigContextOfHost() { return ConfigContext{Host().defaultTraceFolder}; }

void LoadConfiguredFiles(CVextrelManager* manager) {
    const HostInfo& host = Host();
    for (const char* path : {host.configPath1, host.configPath2, host.configPath3}) {
        if (path[0] == '\0') continue;
        for (std::unique_ptr<TraceConfig>& config : LoadConfigFiles(path, ConfigContextOfHost())) {
            AddConfig(manager, config.get());
            config.release();  // the manager owns it now
        }
    }
}

// Withdraws the running manager, waits for trace calls still walking it, carries its configurations
// that come from the same files over into `fresh` and destroys the rest.
void SwapOut(CVextrelManager* fresh) {
    CVextrelManager* old = ExchangeManager(nullptr);
    platform::SleepMilliseconds(kSwapGraceMilliseconds);
    if (old != nullptr) {
        AdoptRunningConfigs(fresh, old);
        delete old;
    }
}

// Starts the configurations of a new manager and publishes it.
void StartAndPublish(CVextrelManager* manager) {
    StartConfigsGuarded(manager, false);
    ExchangeManager(manager);
    UpdateCrashRecord(manager);
}

}  // namespace

void InitializeLibrary(CVextrelManager* manager, bool start) {
    ProbeHostEnvironment();
    if (manager == nullptr) {
        manager = CVextrelManager::Create();
        if (manager == nullptr) return;
        ExchangeManager(manager);
    }
    LoadConfiguredFiles(manager);
    if (start) StartConfigs(manager, false);
}

CVextrelManager* CreateManager() {
    CVextrelManager* manager = CVextrelManager::Create();
    if (manager != nullptr) InitializeLibrary(manager, false);
    return manager;
}

void StartConfigs(CVextrelManager* manager, bool force) {
    ConsolidateConfigs(manager);
    for (TraceConfig* config : manager->configs) {
        if (config == nullptr || (config->started && !force)) continue;
        config->started = false;
        StartConfig(*config);
    }
    manager->PublishConfigs();
    RebuildGlobalPriorityMap(manager, false);
}

void StartConfigsGuarded(CVextrelManager* manager, bool force) {
    try {
        StartConfigs(manager, force);
    } catch (...) {
        manager->PublishConfigs();
        RebuildGlobalPriorityMap(manager, true);
    }
}

void StopLibrary() { delete ExchangeManager(nullptr); }

void OnProcessAttach() {
    if (g_attachCount++ != 0) return;
    try {
        InitializeLibrary(nullptr, false);
        if (CVextrelManager* manager = CurrentManager()) {
            StartConfigsGuarded(manager, false);
            UpdateCrashRecord(manager);
        }
    } catch (...) {
        // Memory exhausted while reading the configuration files: the library runs without them.
    }
}

void OnProcessDetach() {
    if (g_attachCount == 0 || --g_attachCount != 0) return;
    try {
        RemoveCrashRecord();
        StopLibrary();
    } catch (...) {
    }
}

void RestartLibrary() {
    try {
        CVextrelManager* fresh = CreateManager();
        if (fresh == nullptr) return;  // the running manager stays in use
        ConsolidateConfigs(fresh);
        SwapOut(fresh);
        for (TraceConfig* config : fresh->configs) {
            if (config == nullptr) continue;
            config->file.Flush();
            config->file.CloseTraceFile();
            config->quiet.store(false);
            config->refresh = false;
        }
        StartAndPublish(fresh);
    } catch (...) {
        // Memory exhausted while reading the configuration files: the running manager stays.
    }
}

bool ReloadConfigs() {
    try {
        CVextrelManager* running = CurrentManager();
        if (running == nullptr) return false;
        CVextrelManager* fresh = CreateManager();
        if (fresh == nullptr) return false;
        ConsolidateConfigs(fresh);
        if (!ConfigsDiffer(fresh, running)) {
            delete fresh;
            return false;
        }
        SwapOut(fresh);
        StartAndPublish(fresh);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace vextrel
