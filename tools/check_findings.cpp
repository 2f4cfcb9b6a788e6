#include "tools/check_findings.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "tools/check_names.h"

namespace vextrel::tool {
namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// ", did you mean A or B?" for the nearest names, or "".
std::string Suggestion(const std::vector<std::string>& names) {
    if (names.empty()) return "";
    std::string text = "; did you mean ";
    for (size_t i = 0; i < names.size(); ++i) text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return text + "?";
}

std::string UnknownKeyMessage(const std::string& key) {
    std::string message = "unknown key " + Quoted(key) + ": neither an option nor a registered facility; line ignored";
    const size_t end = key.find_last_not_of(" \t");
    if (end != std::string::npos && end + 1 < key.size()) {
        return message + "; the blank before '=' is part of the key" +
               Suggestion(FacilityNameIndex().Nearest(key.substr(0, end + 1), false, 1)) +
               Suggestion(OptionNameIndex().Nearest(key.substr(0, end + 1), true, 1));
    }
    if (!key.empty() && (key[0] == ' ' || key[0] == '\t') && key.find_first_not_of(" \t") != std::string::npos &&
        key[key.find_first_not_of(" \t")] == '#') {
        return "a comment must have '#' as the very first character of the line; line ignored";
    }
    std::vector<std::string> names = OptionNameIndex().Nearest(key, true);
    for (const std::string& name : FacilityNameIndex().Nearest(key, true)) names.push_back(name);
    if (key.rfind("VXF_", 0) != 0 && key.rfind("vxf_", 0) == 0) message += "; facility names are case-sensitive";
    return message + Suggestion(names);
}

std::string UnknownPriorityMessage(const std::string& name) {
    std::string message = "unknown priority " + Quoted(name) + ": the token is skipped";
    unsigned number = 0;
    char rest = 0;
    if (std::sscanf(name.c_str(), "%u%c", &number, &rest) == 1) {
        uint32_t value = 1;
        for (const std::string& level : PriorityLevelNames()) {
            if (value == number) return message + "; a number is not a level: write " + level;
            value <<= 1;
        }
        return message +
               "; a number is not a level: write one of VXP_LOWEST, VXP_LOW, VXP_NORMAL, VXP_HIGH, VXP_URGENT";
    }
    // A level written without its prefix ("NORMAL") is the level itself.
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& level : PriorityLevelNames()) {
        if (level == "VXP_" + upper) return message + Suggestion({level});
    }
    return message + Suggestion(PriorityNameIndex().Nearest(name, true));
}

}  // namespace

void FindingCollector::Report(const ConfigFindingReport& report) {
    CheckFinding finding{report.path, report.line, report.column, report.finding, report.text, ""};
    finding.message = FindingMessage(finding.kind, finding.text);
    if (finding.kind != ConfigFinding::kTraceFolderLine && finding.kind != ConfigFinding::kNoSeparator &&
        finding.text.find('#') != std::string::npos && finding.message.find("first character") == std::string::npos) {
        finding.message += " (comments take a whole line: a '#' after other text is part of the value)";
    }
    findings.push_back(std::move(finding));
}

std::string FindingMessage(ConfigFinding kind, const std::string& text) {
    switch (kind) {
        case ConfigFinding::kTraceFolderLine: return "trace folder " + Quoted(text);
        case ConfigFinding::kNoSeparator:
            if (text.find_first_not_of(" \t") != std::string::npos && text[text.find_first_not_of(" \t")] == '#') {
                return "a comment must have '#' as the very first character of the line; line ignored";
            }
            return "no '=' in the line: ignored";
        case ConfigFinding::kNoKey: return "the line starts with '=': " + Quoted(text) + " is taken as the key";
        case ConfigFinding::kNoValue: return "nothing after '=': the line does nothing";
        case ConfigFinding::kExtraSeparator: return "text after a further '=' is ignored: " + Quoted(text);
        case ConfigFinding::kUnknownKey: return UnknownKeyMessage(text);
        case ConfigFinding::kTokenWithoutAt:
            return "malformed tracer token " + Quoted(text) +
                   ": no '@' between tracer and priority (as in F@VXP_NORMAL); skipped";
        case ConfigFinding::kUnknownPriority: return UnknownPriorityMessage(text);
        case ConfigFinding::kNoTracerSelected:
            return "tracer token " + Quoted(text) +
                   " selects no tracer: its first character must be F (file), C (console), or S or t (client); skipped";
        case ConfigFinding::kClientSpelledConsole:
            return "tracer token " + Quoted(text) +
                   " selects the console tracer (its first letter is C); the client tracer is S or t, as in "
                   "S@VXP_NORMAL";
        case ConfigFinding::kDisableValueIgnored:
            return "value " + Quoted(text) + " does nothing: only 'true' disables the tracer";
        case ConfigFinding::kNotFalseTurnsOn:
            return "value " + Quoted(text) + " is not 'false', so it turns the option on; write true or false";
        case ConfigFinding::kQueueSizeDefault:
            return "value " + Quoted(text) +
                   " is out of range: only 'large' and 'medium' change the queue size; it stays at 4096";
        case ConfigFinding::kNotANumber:
            return "value " + Quoted(text) +
                   " is out of range: the log file limit is a whole number of files, or -1 for none";
        case ConfigFinding::kNameCut: return "the name is longer than 31 characters and is cut";
        case ConfigFinding::kCounterFileUnused:
            return "counterfile has no effect: trace files are named by date and time";
        case ConfigFinding::kLineSplit:
            return "the line is longer than 1023 characters: the rest is read as a line of its own";
        case ConfigFinding::kDisabledTracerConfigured:
            return "the " + text + " tracer is disabled: its facility lines have no effect";
        case ConfigFinding::kNoActiveTracer:
            return "no tracer ends up enabled: the file yields no configuration and traces nothing";
    }
    return "";
}

std::string TraceFolderProblem(const std::string& folder) {
    std::error_code error;
    fs::path existing = fs::path(folder);
    bool missing = false;
    while (!existing.empty() && !fs::exists(existing, error)) {
        missing = true;
        if (existing == existing.parent_path()) break;
        existing = existing.parent_path();
    }
    if (existing.empty() || !fs::is_directory(existing, error)) {
        return missing ? "the trace folder does not exist and cannot be created" : "the trace folder is not a folder";
    }
    // Creating a file is the only sure test of writing (permissions, read-only media, Wine's mapping).
    const fs::path probe = existing / ".vextrel-check-probe";
    std::FILE* file = std::fopen(probe.string().c_str(), "w");
    if (file == nullptr) {
        return missing ? "the trace folder does not exist and cannot be created in " + existing.string()
                       : "the trace folder cannot be written";
    }
    std::fclose(file);
    fs::remove(probe, error);
    return "";
}

std::string FindingLine(const CheckFinding& finding) {
    std::string text = finding.path;
    if (finding.line != 0) text += ":" + std::to_string(finding.line);
    if (finding.column != 0) text += ":" + std::to_string(finding.column);
    return text + ": " + finding.message;
}

}  // namespace vextrel::tool
