#include <cstdio>
#include <exception>

#include "tools/commands.h"

namespace vextrel::tool {

void AddFilterOptions(CLI::App& command, FilterOptions& options) {
    // Each list option takes one value; it is repeated for more, so file names after it stay file names.
    const auto oneEach = [](CLI::Option* option) {
        option->expected(1)->allow_extra_args(false)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    };
    oneEach(command.add_option("--facility", options.facilities,
                               "Only this facility: VXF_ name or hexadecimal id (repeat for more)"));
    command.add_option("--priority", options.priority,
                       "Only facilities the header lists at this level or above (VXP_ name or 1/2/4/8/16)");
    oneEach(command.add_option("--thread", options.threads,
                               "Only this thread (hexadecimal, as in the file; repeat for more)"));
    oneEach(command.add_option("--name", options.names, "Only records of this configuration name (repeat for more)"));
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
