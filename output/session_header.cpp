#include "output/session_header.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string_view>

#include "core/facility.h"
#include "core/trace_entry.h"
#include "output/line_format.h"
#include "platform/format_check.h"
#include "vextrel_version.h"

namespace vextrel {
namespace {

constexpr BuildDetails kBuild{VEXTREL_VERSION_STRING, "Release", "main",   "1.0.0.1",
                              "x64-Release",          1,         __DATE__, "2027-03-31"};

constexpr const char* kColumnTitle = "\nTime(s),Tid,Facility : Debug Message\n";
constexpr std::string_view kConfigFileTitle = "*** Vextrel Config File:\t\t";
constexpr const char* kRule = "---------------------------------------------------------------------------\n";

// Formats one header line, cut at the 1023-character line limit.
std::string Line(const char* format, ...) VEXTREL_PRINTF_FORMAT(1, 2);
std::string Line(const char* format, ...) {
    char buffer[kLineCapacity];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < 0) length = 0;
    if (length >= static_cast<int>(sizeof buffer)) length = static_cast<int>(sizeof buffer) - 1;
    return std::string(buffer, static_cast<size_t>(length));
}

// A title followed by a text and a newline, cut at the line limit as Line cuts.
std::string CutLine(std::string_view title, const std::string& text) {
    std::string line;
    line.reserve(std::min<size_t>(title.size() + text.size() + 1, kLineCapacity - 1));
    line.append(title).append(text).push_back('\n');
    if (line.size() >= kLineCapacity) line.resize(kLineCapacity - 1);
    return line;
}

std::string TitleLine(const HeaderDetails& facts, bool refresh) {
    const unsigned long processId = facts.processId;
    if (refresh) {
        return Line("\n\n*** Refreshing session trace for:\t%s (pid=0x%lx, version=%s)\n", facts.executablePath.c_str(),
                    processId, facts.build.version);
    }
    return Line("\n\n*** Orbanex Session Trace for:\t%s (pid=0x%lx, version=%s)\n", facts.executablePath.c_str(),
                processId, facts.build.version);
}

std::string BuildDetailsLine(const BuildDetails& build) {
    const std::string kind = std::string("Build: ") + build.buildKind;
    const std::string branch = std::string("Branch: ") + build.branch;
    const std::string internal = std::string("InternalVersion: ") + build.internalVersion;
    const std::string target = std::string("Target: ") + build.target;
    const std::string number = "Build: " + std::to_string(build.buildNumber);
    return Line("*** Build Details:\t\t\t%s; %s; %s; %s; %s \n", kind.c_str(), branch.c_str(), internal.c_str(),
                target.c_str(), number.c_str());
}

std::string TimestampLine(const HeaderDetails& facts, const char* tabs) {
    const platform::CalendarTime& t = facts.utc;
    return Line("*** Starting Timestamp:%s%d/%d/%d, %d:%d:%d UTC (%.6f s)\n", tabs, t.month, t.day, t.year, t.hour,
                t.minute, t.second, facts.startSeconds);
}

std::string SystemLine(const HeaderDetails& facts) {
    return Line(
        "*** System Details:\t\t\tOS Version: %s, CPU Speed: %4.1f gHz, Architecture: %s, Num Processors: %ld, "
        "Memory: %llu MB\n",
        facts.osName.c_str(), facts.processorSpeedGHz, "Intel 64 bit", static_cast<long>(facts.processorCount),
        static_cast<unsigned long long>(facts.physicalMemoryMiB));
}

// A facility id without a registered name, or a priority without a level name, is shown by number.
void AppendFacilityLines(std::vector<std::string>& lines, const std::vector<FacilityPriority>& facilities) {
    for (const auto& [id, priority] : facilities) {
        const char* facilityName = FacilityNameOf(id);
        const char* priorityName = PriorityNameOf(priority);
        const std::string facility = facilityName != nullptr ? facilityName : "VXF_" + std::to_string(id);
        const std::string level = priorityName != nullptr ? priorityName : "VXP_" + std::to_string(priority);
        lines.push_back(Line("%s@%s(%04lx)\n", facility.c_str(), level.c_str(), static_cast<unsigned long>(id)));
    }
}

}  // namespace

const BuildDetails& LibraryBuild() { return kBuild; }

std::vector<std::string> FileHeaderLines(const HeaderDetails& facts, const std::vector<FacilityPriority>& facilities,
                                         bool refresh) {
    std::vector<std::string> lines{TitleLine(facts, refresh)};
    if (!refresh) {
        lines.push_back(BuildDetailsLine(facts.build));
        lines.push_back(TimestampLine(facts, "\t\t"));
        lines.push_back(SystemLine(facts));
        lines.push_back(Line("*** Build Date:\t\t\t\t%s\n", facts.build.buildDate));
        lines.push_back(Line("*** Expected Release Date:\t\t%s\n", facts.build.releaseDate));
    }
    // Thousands of lines in a long series: joined directly rather than formatted one by one.
    lines.reserve(lines.size() + facts.configFiles.size() + facilities.size() + 3);
    for (const std::string& path : facts.configFiles) lines.push_back(CutLine(kConfigFileTitle, path));
    lines.push_back(Line("*** Machine UUID:\t\t\t%s\n", facts.machineId.c_str()));
    AppendFacilityLines(lines, facilities);
    lines.push_back(kColumnTitle);
    lines.push_back(kRule);
    return lines;
}

std::vector<std::string> ConsoleHeaderLines(const HeaderDetails& facts, const std::vector<FacilityPriority>& facilities,
                                            bool refresh) {
    std::vector<std::string> lines{TitleLine(facts, refresh)};
    if (!refresh) {
        lines.push_back(BuildDetailsLine(facts.build));
        lines.push_back(TimestampLine(facts, "\t\t\t"));
        lines.push_back(SystemLine(facts));
    }
    lines.push_back("*** Facilities to trace:\n\n");
    AppendFacilityLines(lines, facilities);
    lines.push_back(Line("*** Machine UUID:\t\t%s\n", facts.machineId.c_str()));
    lines.push_back(kColumnTitle);
    lines.push_back(kRule);
    return lines;
}

}  // namespace vextrel
