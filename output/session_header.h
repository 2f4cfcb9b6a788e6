// The session header: the block of lines that opens every trace and says which process, build and
// machine wrote it, from which configuration files, and which facilities it traces. The text
// only: gathering the facts and writing the lines belong to starting a configuration.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"

namespace vextrel {

// The library's compile-time build details.
struct BuildDetails {
    const char* version;  // three dot-separated numbers
    const char* buildKind;
    const char* branch;
    const char* internalVersion;
    const char* target;
    int buildNumber;
    const char* buildDate;    // the compiler's date form, "Mmm dd yyyy"
    const char* releaseDate;  // "yyyy-mm-dd"
};

// This library's build details.
const BuildDetails& LibraryBuild();

// Everything a header shows besides the facilities.
struct HeaderDetails {
    std::string executablePath;
    uint32_t processId = 0;
    platform::CalendarTime utc;
    double startSeconds = 0.0;  // the performance counter in seconds, on the record lines' scale
    std::string osName;
    double processorSpeedGHz = 0.0;
    int32_t processorCount = 0;
    uint64_t physicalMemoryMiB = 0;
    std::vector<std::string> configFiles;
    std::string machineId;
    BuildDetails build{};
};

// A traced facility: its id and the file tracer's priority for it.
using FacilityPriority = std::pair<uint32_t, uint32_t>;

// The header lines for the trace file, each ending in a newline: the full title block, or the
// single refresh title, then the configuration files, the machine id, the facilities and the
// column title.
std::vector<std::string> FileHeaderLines(const HeaderDetails& facts, const std::vector<FacilityPriority>& facilities,
                                         bool refresh);

// The header lines for standard output: a shorter title block, the facilities under their own
// heading and the machine id; no build dates and no configuration files.
std::vector<std::string> ConsoleHeaderLines(const HeaderDetails& facts, const std::vector<FacilityPriority>& facilities,
                                            bool refresh);

}  // namespace vextrel
