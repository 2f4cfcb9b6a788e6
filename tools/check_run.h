// `vextrel check`: reads configuration files with the library's own loader and reader, collects
// what they skipped, checks the trace folders, and describes the configurations that result.
#pragma once

#include <string>
#include <vector>

#include "tools/check_findings.h"

namespace vextrel::tool {

// What a check found.
struct CheckOutcome {
    std::vector<std::string> filesRead;  // every file read, continuations included, in order
    std::vector<CheckFinding> findings;  // what was ignored or cannot work; any makes the check fail
    std::vector<std::string> notes;      // facts worth knowing that are not faults
    std::string configurations;          // the consolidated configurations, described
};

// What the library derives for an executable before reading configurations.
struct HostConfigSetting {
    std::vector<std::string> configPaths;  // the configuration paths, in reading order
    std::string defaultTraceFolder;
};

// The setting of an executable, derived by the library's own host code; nothing is created.
HostConfigSetting HostConfigSettingFor(const std::string& executablePath);

// Reads each base path and its numbered continuations as the library does at load, then
// consolidates. A base path that cannot be opened is a finding when `missingIsFault`, a note
// otherwise (the library looks for three files and most hosts have one). A relative trace folder
// is checked from `workingFolder` (the host's working directory; empty: the current one).
CheckOutcome CheckConfigFiles(const std::vector<std::string>& basePaths, bool missingIsFault,
                              const std::string& defaultTraceFolder, const std::string& workingFolder = "");

}  // namespace vextrel::tool
