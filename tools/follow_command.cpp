// vextrel follow: prints the lines of the newest trace file of a folder as they are written.
#include <chrono>
#include <cstdio>
#include <thread>

#include "tools/commands.h"
#include "tools/trace_follower.h"

namespace vextrel::tool {
namespace {

struct FollowOptions {
    std::string folder;
    size_t tailLines = 10;
    double exitAfterSeconds = 0;  // 0: until interrupted
    size_t maxLines = 0;          // 0: no limit
    int pollMilliseconds = 100;
};

int RunFollow(const FollowOptions& options) {
    const std::string folder = options.folder.empty() ? DefaultTraceFolder() : options.folder;
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    TraceFollower follower(folder, options.tailLines);
    std::filesystem::path shown;
    size_t printed = 0;
    bool waitingShown = false;
    for (;;) {
        const std::vector<std::string> lines = follower.Poll();
        if (follower.Current() != shown) {
            shown = follower.Current();
            std::fprintf(stderr, "vextrel follow: %s\n", shown.string().c_str());
        } else if (shown.empty() && !waitingShown) {
            waitingShown = true;
            std::fprintf(stderr, "vextrel follow: no trace file in %s yet\n", folder.c_str());
        }
        for (const std::string& line : lines) {
            std::printf("%s\n", line.c_str());
            if (options.maxLines != 0 && ++printed >= options.maxLines) return 0;
        }
        std::fflush(stdout);
        if (options.exitAfterSeconds > 0 && elapsed() >= options.exitAfterSeconds) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(options.pollMilliseconds));
    }
}

}  // namespace

void AddFollowCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<FollowOptions>();
    CLI::App* command =
        AddCommand(app, exitStatus, "follow",
                   "Print the newest trace file of a folder as it grows, moving on to newer files", options, RunFollow);
    command->add_option("folder", options->folder, "Trace folder (default: the library's default trace folder)");
    command->add_option("--tail", options->tailLines, "Lines of the file's end to show first");
    command->add_option("--exit-after", options->exitAfterSeconds, "Stop after this many seconds");
    command->add_option("--lines", options->maxLines, "Stop after printing this many lines");
    command->add_option("--poll-ms", options->pollMilliseconds, "Milliseconds between looks at the folder")
        ->check(CLI::Range(1, 10000));
}

}  // namespace vextrel::tool
