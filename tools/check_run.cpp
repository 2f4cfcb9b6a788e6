#include "tools/check_run.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "config/config_consolidation.h"
#include "config/config_loader.h"
#include "core/facility.h"
#include "core/manager.h"
#include "host/host_probe.h"
#include "platform/files.h"
#include "platform/host_facts.h"

namespace vextrel::tool {
namespace {

// Facility names grouped under one level are listed up to this many, then counted.
constexpr size_t kNamesListed = 6;

std::string TracerDescription(const char* kind, const BaseTracer& tracer) {
    std::string text = std::string("  ") + kind + " tracer: ";
    const size_t configured = tracer.ConfiguredFacilities().size();
    if (tracer.State() == kTracerNotConfigured) return text + "not configured\n";
    if (tracer.State() == kTracerDisabled) {
        return text + "disabled" +
               (configured ? " (" + std::to_string(configured) + " facilities set without effect)" : "") + "\n";
    }
    text += "active, " + std::to_string(configured) + (configured == 1 ? " facility\n" : " facilities\n");
    std::map<uint32_t, std::vector<std::string>> byLevel;
    for (uint32_t id : tracer.ConfiguredFacilities()) {
        const char* name = FacilityNameOf(id);
        byLevel[tracer.Table().Get(id)].push_back(name != nullptr ? name : std::to_string(id));
    }
    for (const auto& [level, names] : byLevel) {
        const char* levelName = PriorityNameOf(level);
        text += std::string("    ") + (levelName != nullptr ? levelName : "?") + " and above: ";
        for (size_t i = 0; i < names.size() && i < kNamesListed; ++i) text += (i == 0 ? "" : ", ") + names[i];
        if (names.size() > kNamesListed) text += " and " + std::to_string(names.size() - kNamesListed) + " more";
        text += "\n";
    }
    return text;
}

std::string ConfigDescription(size_t number, TraceConfig& config, const std::vector<std::string>& files) {
    char name[kConfigNameCapacity];
    config.name.Get(name);
    std::string text = "configuration " + std::to_string(number) +
                       (name[0] != '\0' ? " \"" + std::string(name) + "\"" : "") + " from ";
    for (size_t i = 0; i < files.size(); ++i) text += (i == 0 ? "" : ", ") + files[i];
    text += "\n  trace folder " + std::string(config.traceFolder) + "\n";
    const int32_t limit = config.file.logFileLimit;
    text += "  queue of " + std::to_string(config.queueSize) + " records, quiet " +
            (config.quiet.load() ? "yes" : "no") + ", append " + (config.file.append ? "yes" : "no") +
            ", log file limit " + (limit < 0 ? std::string("none") : std::to_string(limit)) + "\n";
    return text + TracerDescription("file", config.file) + TracerDescription("console", config.console) +
           TracerDescription("client", config.client);
}

// Checks the trace folder of each resulting configuration, blaming the last line that set it.
void CheckTraceFolders(CVextrelManager& manager, const std::vector<CheckFinding>& folderLines,
                       const std::string& workingFolder, CheckOutcome& outcome) {
    for (TraceConfig* config : manager.configs) {
        const std::string folder = config->traceFolder;
        CheckFinding finding{config->configPath, 0, 0, ConfigFinding::kTraceFolderLine, folder, ""};
        for (const CheckFinding& line : folderLines) {
            if (line.path == config->configPath) finding = line;
        }
        // The library opens a relative folder as it stands: from the host process's working
        // directory at the time it opens the trace file.
        std::string resolved = folder;
        if (!folder.empty() && std::filesystem::path(folder).is_relative()) {
            resolved = (std::filesystem::path(workingFolder) / folder).lexically_normal().string();
            outcome.notes.push_back("trace folder " + folder +
                                    " is relative: the library opens it from the host's working directory, here " +
                                    resolved);
        }
        const std::string problem = TraceFolderProblem(resolved);
        if (!problem.empty()) {
            finding.message = problem + ": " + resolved;
            outcome.findings.push_back(finding);
        } else if (!platform::PathExists(resolved.c_str())) {
            outcome.notes.push_back("trace folder " + resolved + " does not exist yet; the library creates it");
        }
    }
}

}  // namespace

HostConfigSetting HostConfigSettingFor(const std::string& executablePath) {
    HostFacts facts = GatherHostFacts();
    facts.executablePath = executablePath.c_str();
    // Stand-ins that create nothing: the folders are taken as the library would leave them.
    const FolderOperations folders{[](const char* path) {
                                       return platform::PathExists(path) ? platform::CreateFolderResult::kAlreadyExists
                                                                         : platform::CreateFolderResult::kCreated;
                                   },
                                   [](const char*) { return true; }};
    auto info = std::make_unique<HostInfo>();
    FillHostInfo(facts, folders, *info);
    HostConfigSetting setting;
    for (const char* path : {info->configPath1, info->configPath2, info->configPath3}) {
        if (path[0] != '\0') setting.configPaths.emplace_back(path);
    }
    setting.defaultTraceFolder = info->defaultTraceFolder;
    return setting;
}

CheckOutcome CheckConfigFiles(const std::vector<std::string>& basePaths, bool missingIsFault,
                              const std::string& defaultTraceFolder, const std::string& workingFolder) {
    CheckOutcome outcome;
    FindingCollector collector;
    const ConfigContext context{defaultTraceFolder.c_str(), &collector};
    std::unique_ptr<CVextrelManager> manager(CVextrelManager::Create());
    std::map<const TraceConfig*, std::vector<std::string>> filesOf;
    for (const std::string& base : basePaths) {
        if (std::FILE* file = std::fopen(base.c_str(), "r")) {
            std::fclose(file);
        } else if (missingIsFault) {
            outcome.findings.push_back(
                {base, 0, 0, ConfigFinding::kNoActiveTracer, "", "cannot be opened: nothing is read"});
            continue;
        } else {
            outcome.notes.push_back(base + " is not there (the library looks for it)");
            continue;
        }
        const size_t before = LoadedConfigFiles().size();
        // Merged and counted as the library does at load; which files each kept configuration gathers
        // is noted on the way (merging keeps only the first file's path).
        LoadConfigDraftsEach(base.c_str(), context, [&](const ConfigDraft& draft, const char* path) {
            if (TraceConfig* kept = AddReadDraft(manager.get(), draft, path, context)) filesOf[kept].push_back(path);
        });
        outcome.filesRead.insert(outcome.filesRead.end(), LoadedConfigFiles().begin() + before,
                                 LoadedConfigFiles().end());
        for (size_t i = before; i < LoadedConfigFiles().size(); ++i) {
            const std::string& entry = LoadedConfigFiles()[i];
            const size_t mark = entry.find(kIgnoredMark);
            if (mark != std::string::npos)
                outcome.findings.push_back({entry.substr(0, mark), 0, 0, ConfigFinding::kNoActiveTracer, "",
                                            entry.substr(mark + 2, entry.size() - mark - 3)});
        }
    }
    std::vector<CheckFinding> folderLines;
    for (CheckFinding& finding : collector.findings) {
        (finding.kind == ConfigFinding::kTraceFolderLine ? folderLines : outcome.findings).push_back(finding);
    }
    CheckTraceFolders(*manager, folderLines,
                      workingFolder.empty() ? std::filesystem::current_path().string() : workingFolder, outcome);
    for (size_t i = 0; i < manager->configs.size(); ++i) {
        TraceConfig& config = *manager->configs[i];
        outcome.configurations += ConfigDescription(i + 1, config, filesOf[&config]);
    }
    if (manager->configs.empty()) outcome.configurations = "no configuration: the library traces nothing\n";
    return outcome;
}

}  // namespace vextrel::tool
