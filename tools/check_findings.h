// The findings of `vextrel check`: what the library's configuration reader reported while reading,
// worded for a person, with the nearest known names where a name was not recognised.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/config_diagnostics.h"

namespace vextrel::tool {

// One line of the report.
struct CheckFinding {
    std::string path;
    uint32_t line = 0;    // 0: about the whole file
    uint32_t column = 0;  // 0: about the whole line
    ConfigFinding kind = ConfigFinding::kUnknownKey;
    std::string text;     // the piece of the line concerned
    std::string message;  // why it was ignored or what it does instead, with suggestions
};

// Collects the reader's findings and words each one.
class FindingCollector final : public ConfigDiagnostics {
public:
    void Report(const ConfigFindingReport& report) override;

    std::vector<CheckFinding> findings;
};

// The sentence for a finding about `text`.
std::string FindingMessage(ConfigFinding kind, const std::string& text);

// What stands in the way of writing trace files into `folder`: "" when it exists and a file can be
// created in it, or when it does not exist but can be created; otherwise the reason.
std::string TraceFolderProblem(const std::string& folder);

// "path:line:column: message" (line and column left out when 0).
std::string FindingLine(const CheckFinding& finding);

}  // namespace vextrel::tool
