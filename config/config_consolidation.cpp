#include "config/config_consolidation.h"

#include <algorithm>
#include <cstring>

namespace vextrel {
namespace {

uint32_t ConfigCount(const CVextrelManager* manager) {
    if (manager == nullptr) return 0;
    return static_cast<uint32_t>(std::count_if(manager->configs.begin(), manager->configs.end(),
                                               [](const TraceConfig* config) { return config != nullptr; }));
}

// The first configuration of the running list read from the same file, or null; its slot index in
// `*slot`.
TraceConfig* SameFileConfig(const std::vector<TraceConfig*>& running, const TraceConfig& fresh, size_t* slot) {
    for (size_t i = 0; i < running.size(); ++i) {
        TraceConfig* candidate = running[i];
        if (candidate != nullptr && std::strcmp(candidate->configPath, fresh.configPath) == 0) {
            *slot = i;
            return candidate;
        }
    }
    return nullptr;
}

bool SameSettings(TraceConfig& fresh, TraceConfig& running) {
    return fresh.console.SameBaseAs(running.console) && !(fresh.file != running.file) &&
           fresh.client.SameAs(running.client) && fresh.quiet.load() == running.quiet.load() &&
           fresh.crashRecord == running.crashRecord;
}

}  // namespace

namespace {

void AddReadConfig(CVextrelManager* manager, std::unique_ptr<TraceConfig> config) {
    if (config == nullptr) return;
    const auto sameFolder =
        std::find_if(manager->configs.begin(), manager->configs.end(), [&](const TraceConfig* earlier) {
            return earlier != nullptr && std::strcmp(earlier->traceFolder, config->traceFolder) == 0;
        });
    if (sameFolder != manager->configs.end()) {
        (*sameFolder)->MergeFrom(*config);
        manager->tableDirty = true;
        DestroyConfig(config.release());
    } else if (manager->configs.size() >= kMaxConfigurations) {
        NoteIgnoredConfigFile(config->configPath, "more than 4096 configurations with distinct trace folders");
    } else {
        AddConfig(manager, config.release());
    }
}

}  // namespace

void LoadConfigFilesInto(CVextrelManager* manager, const char* basePath, const ConfigContext& context) {
    if (manager == nullptr) return;
    LoadConfigFilesEach(basePath, context,
                        [&](std::unique_ptr<TraceConfig> config) { AddReadConfig(manager, std::move(config)); });
}

void AddReadConfigs(CVextrelManager* manager, OwnedConfigs& configs) {
    if (manager == nullptr) return;
    for (std::unique_ptr<TraceConfig>& config : configs) AddReadConfig(manager, std::move(config));
}

void ConsolidateConfigs(CVextrelManager* manager) {
    if (manager == nullptr) return;
    std::vector<TraceConfig*>& configs = manager->configs;
    for (size_t i = 0; i < configs.size(); ++i) {
        if (configs[i] == nullptr) continue;
        for (size_t j = i + 1; j < configs.size(); ++j) {
            if (configs[j] == nullptr || std::strcmp(configs[i]->traceFolder, configs[j]->traceFolder) != 0) continue;
            configs[i]->MergeFrom(*configs[j]);
            DestroyConfig(configs[j]);
            configs[j] = nullptr;
        }
    }
    configs.erase(std::remove(configs.begin(), configs.end(), nullptr), configs.end());
}

TraceConfig* ConfigWithFolder(CVextrelManager* manager, const char* traceFolder) {
    if (manager == nullptr) return nullptr;
    for (TraceConfig* config : manager->configs) {
        if (config != nullptr && std::strcmp(config->traceFolder, traceFolder) == 0) return config;
    }
    return nullptr;
}

bool ConfigsDiffer(CVextrelManager* fresh, CVextrelManager* running) {
    const uint32_t count = ConfigCount(fresh);
    if (count != ConfigCount(running)) return true;
    if (count == 0) return false;
    for (TraceConfig* config : fresh->configs) {
        if (config == nullptr) continue;
        size_t slot = 0;
        TraceConfig* match = running == nullptr ? nullptr : SameFileConfig(running->configs, *config, &slot);
        if (match == nullptr || !SameSettings(*config, *match)) return true;
    }
    return false;
}

void AdoptRunningConfigs(CVextrelManager* fresh, CVextrelManager* running) {
    if (fresh == nullptr || running == nullptr) return;
    // The running manager keeps its list until the new one is published: a priority change in
    // between rebuilds the summary from that list, and trace calls still reach every entry of it.
    // The candidates are looked up in a copy, so that each is adopted once.
    std::vector<TraceConfig*> candidates = running->configs;
    for (TraceConfig*& config : fresh->configs) {
        if (config == nullptr) continue;
        size_t slot = 0;
        TraceConfig* match = SameFileConfig(candidates, *config, &slot);
        if (match == nullptr) continue;
        candidates[slot] = nullptr;
        fresh->LowerGlobalTo(*config);
        match->UpdateFrom(*config);
        delete config;
        config = match;
    }
    fresh->tableDirty = true;
}

void LeaveAdoptedConfigs(CVextrelManager* previous, const CVextrelManager* next) {
    if (previous == nullptr || next == nullptr) return;
    for (TraceConfig*& config : previous->configs) {
        if (std::find(next->configs.begin(), next->configs.end(), config) != next->configs.end()) config = nullptr;
    }
}

}  // namespace vextrel
