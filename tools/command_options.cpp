#include <cstdio>
#include <exception>

#include "tools/commands.h"

namespace vextrel::tool {

void AddFilterOptions(CLI::App& command, FilterOptions& options) {
    command.add_option("--facility", options.facilities, "Only these facilities: VXF_ name or hexadecimal id")
        ->take_all();
    command.add_option("--priority", options.priority,
                       "Only facilities the header lists at this level or above (VXP_ name or 1/2/4/8/16)");
    command.add_option("--thread", options.threads, "Only these threads (hexadecimal, as in the file)")->take_all();
    command.add_option("--name", options.names, "Only records of these configuration names")->take_all();
    command.add_option("--since", options.since, "Only records at or after these seconds (as in the file)");
    command.add_option("--until", options.until, "Only records at or before these seconds (as in the file)");
    command.add_option("--grep", options.grep, "Only records whose message matches this regular expression");
}

int RunReportingErrors(const char* command, const std::function<int()>& body) {
    try {
        return body();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vextrel %s: %s\n", command, error.what());
        return 2;
    }
}

}  // namespace vextrel::tool
