// The subcommands of the vextrel program. Each Add... function registers one subcommand with its
// options on the application; when the subcommand runs, its exit status goes to `exitStatus`.
#pragma once

#include <CLI/CLI.hpp>

#include "tools/record_filter.h"

namespace vextrel::tool {

void AddCatCommand(CLI::App& app, int& exitStatus);
void AddStatsCommand(CLI::App& app, int& exitStatus);
void AddFollowCommand(CLI::App& app, int& exitStatus);
void AddTimelineCommand(CLI::App& app, int& exitStatus);

// Adds the record filter options (--facility, --priority, --thread, --name, --since, --until,
// --grep) to a subcommand.
void AddFilterOptions(CLI::App& command, FilterOptions& options);

// Runs a command body: an exception becomes a message on standard error and exit status 2.
int RunReportingErrors(const char* command, const std::function<int()>& body);

}  // namespace vextrel::tool
