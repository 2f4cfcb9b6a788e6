// The vextrel program: reads the trace files the library writes.
#include <cstdio>
#include <string>

#include "tools/commands.h"
#include "vextrel_version.h"

namespace {

// The subcommands in the order the help lists them.
using AddCommand = void (*)(CLI::App& app, int& exitStatus);
constexpr AddCommand kCommands[] = {
    vextrel::tool::AddCatCommand,      vextrel::tool::AddStatsCommand,  vextrel::tool::AddFollowCommand,
    vextrel::tool::AddTimelineCommand, vextrel::tool::AddReportCommand, vextrel::tool::AddCheckCommand,
};

// Usage errors (unknown options, missing arguments, bad values) exit with this status.
constexpr int kUsageError = 2;

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("vextrel: reads Vextrel trace files and checks configuration files", "vextrel");
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("vextrel ") + VEXTREL_VERSION_STRING);
    app.option_defaults()->always_capture_default();
    int exitStatus = 0;
    for (AddCommand add : kCommands) add(app, exitStatus);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error);  // --help, --version
        // A first argument that is no subcommand and no option: name the subcommands.
        if (argc > 1 && argv[1][0] != '-' && app.get_subcommands().empty()) {
            std::string names;
            for (const CLI::App* command : app.get_subcommands({}))
                names += (names.empty() ? "" : ", ") + command->get_name();
            std::fprintf(stderr, "vextrel: unknown command '%s'; the commands are %s (vextrel --help tells more)\n",
                         argv[1], names.c_str());
            return kUsageError;
        }
        app.exit(error);
        return kUsageError;
    }
    return exitStatus;
}
