// vextrel check: what the library will make of configuration files, and every line it ignores.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "host/host_info.h"
#include "platform/host_facts.h"
#include "tools/check_run.h"
#include "tools/commands.h"

namespace vextrel::tool {
namespace {

struct CheckOptions {
    std::vector<std::string> configs;
    std::string executable;
    std::string workingFolder;
};

int RunCheck(const CheckOptions& options) {
    if (options.configs.empty() && options.executable.empty()) {
        std::fprintf(stderr, "vextrel check: give configuration files or --exe PATH\n");
        return 2;
    }
    std::string executable = options.executable;
    if (executable.empty()) {
        // The default trace folder falls back to the executable's folder; the tool stands in.
        char own[kHostPathCapacity] = {};
        platform::ExecutablePath(own, sizeof own);
        executable = own;
    } else {
        executable = std::filesystem::absolute(executable).make_preferred().string();
    }
    const HostConfigSetting setting = HostConfigSettingFor(executable);
    const bool forExecutable = options.configs.empty();
    std::vector<std::string> paths;
    // Where the executable's name has no ".exe", its first two paths are one file: the library reads
    // it twice into two configurations that consolidate into one, so once tells the same.
    for (const std::string& path : forExecutable ? setting.configPaths : options.configs) {
        if (!forExecutable || std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(path);
    }
    const CheckOutcome outcome =
        CheckConfigFiles(paths, !forExecutable, setting.defaultTraceFolder, options.workingFolder);

    for (const std::string& file : outcome.filesRead) std::printf("read %s\n", file.c_str());
    for (const std::string& note : outcome.notes) std::printf("note: %s\n", note.c_str());
    for (const CheckFinding& finding : outcome.findings) std::printf("%s\n", FindingLine(finding).c_str());
    if (forExecutable && outcome.filesRead.empty()) {
        std::printf("%s: no configuration file found; the library traces nothing\n", executable.c_str());
        return 1;
    }
    std::printf("\n%s", outcome.configurations.c_str());
    if (outcome.findings.empty()) return 0;
    std::printf("\n%zu problem%s: the library ignores or cannot use what is listed above\n", outcome.findings.size(),
                outcome.findings.size() == 1 ? "" : "s");
    return 1;
}

}  // namespace

void AddCheckCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<CheckOptions>();
    CLI::App* command = AddCommand(
        app, exitStatus, "check",
        "Reads configuration files as the library does, reports every line it ignores and what will be traced", options,
        RunCheck);
    command->add_option("configs", options->configs, "Configuration files (each with its numbered continuations)");
    command->add_option(
        "--exe", options->executable,
        "Host executable: without files, check those the library reads for it; also sets the default trace folder");
    command->add_option("--cwd", options->workingFolder,
                        "The host's working directory, from which the library opens a relative trace folder (default: "
                        "the current one)");
}

}  // namespace vextrel::tool
