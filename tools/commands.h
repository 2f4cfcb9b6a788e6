// The subcommands of the vextrel program. Each Add... function registers one subcommand with its
// options on the application; when the subcommand runs, its exit status goes to `exitStatus`.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/progress.h"
#include "tools/record_filter.h"

namespace vextrel::tool {

void AddCatCommand(CLI::App& app, int& exitStatus);
void AddStatsCommand(CLI::App& app, int& exitStatus);
void AddFollowCommand(CLI::App& app, int& exitStatus);
void AddTimelineCommand(CLI::App& app, int& exitStatus);
void AddReportCommand(CLI::App& app, int& exitStatus);
void AddCheckCommand(CLI::App& app, int& exitStatus);

// Adds the record filter options (--facility, --priority, --thread, --name, --since, --until,
// --grep) to a subcommand.
void AddFilterOptions(CLI::App& command, FilterOptions& options);

// Runs a command body: an exception becomes a message on standard error and exit status 2.
int RunReportingErrors(const char* command, const std::function<int()>& body);

// Registers subcommand `name`: when it runs, `run(*options)` gives the exit status, an exception
// reported as by RunReportingErrors.
template <typename Options>
CLI::App* AddCommand(CLI::App& app, int& exitStatus, const char* name, const char* description,
                     const std::shared_ptr<Options>& options, int (*run)(const Options&)) {
    CLI::App* command = app.add_subcommand(name, description);
    command->callback(
        [options, run, name, &exitStatus] { exitStatus = RunReportingErrors(name, [&] { return run(*options); }); });
    return command;
}

// What every subcommand over trace files takes.
struct TraceFilesOptions {
    std::vector<std::string> files;
    FilterOptions filter;
    bool quiet = false;                                  // no progress line
    uint64_t progressBytes = Progress::kThresholdBytes;  // inputs over this size show a progress line
};

// The same for a subcommand over trace files (Options derives from TraceFilesOptions): adds the
// required file arguments, the record filter options and --quiet.
template <typename Options>
CLI::App* AddTraceFilesCommand(CLI::App& app, int& exitStatus, const char* name, const char* description,
                               const std::shared_ptr<Options>& options, int (*run)(const Options&)) {
    CLI::App* command = AddCommand(app, exitStatus, name, description, options, run);
    command->add_option("files", options->files, "Trace files")->required()->check(CLI::ExistingFile);
    AddFilterOptions(*command, options->filter);
    command->add_flag("-q,--quiet", options->quiet, "No progress line on standard error for large inputs");
    command
        ->add_option("--progress-over", options->progressBytes,
                     "Show the progress line (on a terminal) for inputs over this many bytes")
        ->capture_default_str();
    return command;
}

}  // namespace vextrel::tool
