#include "lifecycle/library_lifecycle.h"

#include <memory>

#include "config/config_consolidation.h"
#include "config/config_loader.h"
#include "config/config_parser.h"
#include "core/facility.h"
#include "core/manager.h"
#include "core/trace_config.h"
#include "diag/machine_id.h"
#include "host/host_info.h"
#include "lifecycle/config_start.h"
#include "lifecycle/crash_record.h"
#include "platform/clock.h"
#include "platform/grace_hints.h"
#include "platform/thread.h"

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
        LoadConfigFilesInto(manager, path, ConfigContextOfHost());
    }
}

// Withdraws the running manager, waits for trace calls still walking it, carries its configurations
// that come from the same files over into `fresh` and destroys the rest.
void SwapOut(CVextrelManager* fresh) {
    CVextrelManager* old = ExchangeManager(nullptr);
    platform::SleepMilliseconds(kSwapGraceMilliseconds);
    platform::HintGracePeriodOver();
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

// Frees what the load made besides the manager, for an unload while the process keeps running.
void ReleaseLoadState() {
    ReleaseLoadedConfigFiles();
    ReleaseMachineUUID();
    ReleaseFacilityRegistry();
    platform::ReleaseThreadCounter();
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
        try {
            StartConfig(*config);
        } catch (...) {
            // A thread or event the system refused: this configuration stays without output, the
            // others start all the same.
        }
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

void StopLibraryAtExit() {
    // Kept reachable: the process is ending and threads may still be inside a trace call.
    static CVextrelManager* keptAtExit = nullptr;
    keptAtExit = ExchangeManager(nullptr);
    if (keptAtExit == nullptr) return;
    for (TraceConfig* config : keptAtExit->configs) {
        RecordQueue* queue = config == nullptr ? nullptr : config->Queue();
        if (queue == nullptr || queue->Stopping()) continue;
        queue->processEnding = true;
        queue->Stop();
    }
}

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

void OnProcessDetach(bool processExiting) {
    if (g_attachCount == 0 || --g_attachCount != 0) return;
    try {
        if (processExiting && CrashRecorded()) return;  // the trace files end with the crash record
        if (processExiting) {
            StopLibraryAtExit();
        } else {
            StopLibrary();
            ReleaseLoadState();
        }
    } catch (...) {
    }
    // Kept until the files are closed, so that a crash during the unload is recorded too.
    RemoveCrashRecord();
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
