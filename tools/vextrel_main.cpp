// The vextrel program: reads the trace files the library writes.
#include <cstdio>

#include "tools/commands.h"

namespace {

// The subcommands in the order the help lists them.
using AddCommand = void (*)(CLI::App& app, int& exitStatus);
constexpr AddCommand kCommands[] = {
    vextrel::tool::AddCatCommand,
    vextrel::tool::AddStatsCommand,
    vextrel::tool::AddFollowCommand,
    vextrel::tool::AddTimelineCommand,
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("vextrel: reads Vextrel trace files", "vextrel");
    app.require_subcommand(1);
    int exitStatus = 0;
    for (AddCommand add : kCommands) add(app, exitStatus);
    CLI11_PARSE(app, argc, argv);
    return exitStatus;
}
