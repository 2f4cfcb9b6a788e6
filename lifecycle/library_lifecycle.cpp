#include "lifecycle/library_lifecycle.h"

#include <memory>
#include <mutex>
#include <vector>

#include "config/config_consolidation.h"
#include "config/config_loader.h"
#include "config/config_parser.h"
#include "core/config_walks.h"
#include "core/facility.h"
#include "core/manager.h"
#include "core/reclaim.h"
#include "core/record_queue.h"
#include "core/trace_config.h"
#include "diag/machine_id.h"
#include "host/host_info.h"
#include "lifecycle/config_start.h"
#include "lifecycle/control_lock.h"
#include "lifecycle/crash_record.h"
#include "output/queue_writer.h"
#include "platform/clock.h"
#include "platform/thread.h"

namespace vextrel {
namespace {

// Process-attach notifications not yet matched by a detach. The loader serialises attach and
// detach, so a plain counter serves.
uint32_t g_attachCount = 0;

// How long the unload waits for a thread still inside a trace call before it leaves what that
// thread may read allocated.
constexpr uint32_t kUnloadReclaimMilliseconds = 1000;

// What a rebuild does with the running manager.
enum class Rebuild {
    Load,     // there is none yet
    Restart,  // always replaced; every configuration begins a new file with a full header
    Reload,   // replaced only when the files differ; carried-over configurations refresh
};

ConfigContext ConfigContextOfHost() { return ConfigContext{Host().defaultTraceFolder}; }

void LoadConfiguredFiles(CVextrelManager* manager) {
    const HostInfo& host = Host();
    for (const char* path : {host.configPath1, host.configPath2, host.configPath3}) {
        if (path[0] == '\0') continue;
        LoadConfigFilesInto(manager, path, ConfigContextOfHost());
    }
}

// The one place that publishes a manager: the summary is lowered to the new configurations before
// the exchange and raised to them after it. Returns the manager it replaced.
CVextrelManager* Publish(CVextrelManager* manager) {
    std::lock_guard<std::mutex> settings(SettingsMutex());
    if (manager != nullptr) manager->PublishConfigs();
    CVextrelManager* previous = ExchangeManager(manager);
    if (manager != nullptr) {
        RebuildGlobalPriorityMap(manager, true);
    } else {
        ClearGlobalSummary();
    }
    return previous;
}

// The counter value at which the stop wait, begun now, ends: writers stopped together share it, so
// that several held-up writers cost one stop wait, not one each.
uint64_t SharedStopDeadline() {
    return platform::ReadCounter() + platform::CounterFrequency() * kStopWaitMilliseconds / 1000u;
}

// Stops every writer the withdrawn manager still holds, all of them asked at once so that they
// drain side by side and waited for until one shared deadline, then retires the manager: it is
// freed once no trace call can hold it.
void RetireManager(CVextrelManager* manager) {
    if (manager == nullptr) return;
    for (TraceConfig* config : manager->configs) {
        if (RecordQueue* queue = config == nullptr ? nullptr : config->Queue()) queue->RequestStop();
    }
    const uint64_t deadline = SharedStopDeadline();
    for (TraceConfig*& config : manager->configs) {
        if (config != nullptr && !StopConfig(config, deadline)) config = nullptr;  // its writer owns it now
    }
    Retire(manager);
}

// The pipeline of load, restart and reload (see the header). False when nothing was swapped in.
bool RebuildManager(Rebuild kind) {
    ProbeHostEnvironment();
    CVextrelManager* running = CurrentManager();
    if (kind == Rebuild::Reload && running == nullptr) return false;
    std::unique_ptr<CVextrelManager> fresh(CVextrelManager::Create());
    if (fresh == nullptr) return false;
    LoadConfiguredFiles(fresh.get());
    ConsolidateConfigs(fresh.get());
    if (kind == Rebuild::Reload && !ConfigsDiffer(fresh.get(), running)) return false;
    // From here on the new manager holds running configurations: it is published whatever happens.
    CVextrelManager* next = fresh.release();
    {
        std::lock_guard<std::mutex> settings(SettingsMutex());
        AdoptRunningConfigs(next, running);
        for (TraceConfig* config : next->configs) {
            if (kind != Rebuild::Restart) continue;
            config->quiet.store(false);
            config->refresh = false;
        }
    }
    StartConfigs(next);
    CVextrelManager* previous = Publish(next);
    LeaveAdoptedConfigs(previous, next);
    RetireManager(previous);
    UpdateCrashRecord(next);
    return true;
}

// Frees what the load made besides the manager, for an unload while the process keeps running.
void ReleaseLoadState() {
    ReleaseLoadedConfigFiles();
    ReleaseHostPathCopy();
    ReleaseMachineUUID();
    ReleaseFacilityRegistry();
    ReleaseGlobalSummary();
    platform::ReleaseThreadCounter();
    platform::ReleaseThreadCache();
}

}  // namespace

void StartConfigs(CVextrelManager* manager) {
    for (TraceConfig* config : manager->configs) {
        try {
            if (config->Queue() != nullptr) {
                SwitchConfigFile(*config);
            } else {
                StartConfig(*config);
            }
        } catch (...) {}
    }
}

void InitializeLibrary() {
    try {
        RebuildManager(Rebuild::Load);
    } catch (...) {
        // Memory exhausted while reading the configuration files: the library runs without them.
    }
}

void RestartLibrary() {
    try {
        RebuildManager(Rebuild::Restart);
    } catch (...) {
        // Memory exhausted while reading the configuration files: the running manager stays.
    }
}

bool ReloadConfigs() {
    try {
        return RebuildManager(Rebuild::Reload);
    } catch (...) {
        return false;
    }
}

void StopLibrary() {
    RetireManager(Publish(nullptr));
    // Unless the library stays loaded, no thread may be left in its code: writers held up since an
    // earlier restart or reload finish first (a callback that holds one holds the unload too).
    if (!platform::LibraryStaysLoaded()) AwaitAbandonedWriters();
    // The host has stopped calling: whatever readers left is freed now (a thread stuck inside a
    // trace call holds back only what it may still read).
    ReclaimRetiredWaiting(kUnloadReclaimMilliseconds);
}

void StopLibraryAtExit() {
    // Kept reachable: the process is ending and threads may still be inside a trace call.
    static CVextrelManager* keptAtExit = nullptr;
    keptAtExit = ExchangeManager(nullptr);
    if (keptAtExit == nullptr) return;
    std::vector<RecordQueue*> queues;
    for (TraceConfig* config : keptAtExit->configs) {
        RecordQueue* queue = config == nullptr ? nullptr : config->Queue();
        if (queue == nullptr || queue->Stopping()) continue;
        queue->MarkProcessEnding();
        queue->RequestStop();
        queues.push_back(queue);
    }
    const uint64_t deadline = SharedStopDeadline();
    for (RecordQueue* queue : queues) queue->Stop(deadline);
}

void OnProcessAttach() {
    if (g_attachCount++ != 0) return;
    InitializeLibrary();
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
            platform::AwaitReleasedThreads();
        }
    } catch (...) {}
    // Kept until the files are closed, so that a crash during the unload is recorded too.
    RemoveCrashRecord();
}

}  // namespace vextrel
