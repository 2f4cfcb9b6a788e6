#include "config/config_consolidation.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/bounded_text.h"

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

// Lists the file of a configuration past the count limit as ignored.
void NoteIgnoredForCount(const char* configPath) {
    char reason[96];
    std::snprintf(reason, sizeof reason, "a %uth trace folder: the library keeps at most %u configurations",
                  kMaxConfigurations + 1, kMaxConfigurations);
    NoteIgnoredConfigFile(configPath, reason);
}

}  // namespace

TraceConfig* AddReadConfig(CVextrelManager* manager, std::unique_ptr<TraceConfig> config) {
    if (manager == nullptr || config == nullptr) return nullptr;
    if (TraceConfig* target = ConfigWithFolder(manager, config->traceFolder)) {
        target->MergeFrom(*config);
        manager->tableDirty = true;
        DestroyConfig(config.release());
        return target;
    }
    if (ConfigCount(manager) >= kMaxConfigurations) {
        NoteIgnoredForCount(config->configPath);
        return nullptr;
    }
    TraceConfig* added = config.release();
    AddConfig(manager, added);
    return added;
}

TraceConfig* AddReadDraft(CVextrelManager* manager, const ConfigDraft& draft, const char* path,
                          const ConfigContext& context, OptionlessMerges* merges) {
    if (manager == nullptr) return nullptr;
    // A file whose folder has a configuration already is applied straight into it: its own tables are
    // never made. The reader's listener is told about a whole configuration, which this path skips.
    if (context.diagnostics == nullptr) {
        if (ConfigCount(manager) >= kMaxConfigurations) {
            // A file of a new folder is ignored whole: its options tell so without making a
            // configuration (thousands of such files may follow the last kept one).
            char folder[kConfigPathCapacity];
            DraftTraceFolder(draft, context, folder);
            if (ConfigWithFolder(manager, folder) == nullptr) {
                char configPath[kConfigPathCapacity];
                CopyTruncated(configPath, sizeof configPath, path);
                if (DraftActiveTracers(draft) != 0) NoteIgnoredForCount(configPath);
                return nullptr;
            }
        }
        // A file without option lines whose like merged into its configuration before: only its
        // facility lines are left to apply (a long series has thousands of such files).
        const bool optionless = merges != nullptr &&
                                std::none_of(draft.steps.begin(), draft.steps.end(), [](const ConfigDraft::Step& step) {
                                    return step.keyword != OptionKeyword::kNone;
                                });
        const uint32_t tracers = optionless ? DraftActiveTracers(draft) : 0;
        if (optionless && tracers != 0) {
            char folder[kConfigPathCapacity];
            DraftTraceFolder(draft, context, folder);
            TraceConfig* target = ConfigWithFolder(manager, folder);
            const std::pair<const TraceConfig*, uint32_t> merged{target, tracers};
            if (target != nullptr &&
                std::find(merges->done.begin(), merges->done.end(), merged) != merges->done.end()) {
                LowerToDraft(draft, target);
                manager->tableDirty = true;
                return target;
            }
        }
        std::unique_ptr<TraceConfig> options = BuildDraftOptions(draft, context);
        if (options == nullptr) return nullptr;
        if (TraceConfig* target = ConfigWithFolder(manager, options->traceFolder)) {
            target->MergeFrom(*options);
            LowerToDraft(draft, target);
            manager->tableDirty = true;
            if (optionless) merges->done.emplace_back(target, tracers);
            return target;
        }
    }
    std::unique_ptr<TraceConfig> config = BuildConfig(draft, context);
    if (config == nullptr) return nullptr;
    CopyTruncated(config->configPath, sizeof config->configPath, path);
    return AddReadConfig(manager, std::move(config));
}

void LoadConfigFilesInto(CVextrelManager* manager, const char* basePath, const ConfigContext& context) {
    if (manager == nullptr) return;
    OptionlessMerges merges;
    LoadConfigDraftsEach(basePath, context, [&](const ConfigDraft& draft, const char* path) {
        AddReadDraft(manager, draft, path, context, &merges);
    });
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
