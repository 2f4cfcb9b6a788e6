// Follows the newest trace file of a folder as it grows, and moves on to a newer file when a
// restart or reload opens one. Each Poll does one round without waiting; the caller paces it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tools/tool_system.h"

namespace vextrel::tool {

// The newest trace file ("*.txt") of a folder by last-write time, the later name on a tie; empty
// when there is none.
std::filesystem::path NewestTraceFile(const std::filesystem::path& folder);

// The library's default trace folder for the current user (without creating it).
std::string DefaultTraceFolder();

class TraceFollower {
public:
    // Starts at the newest file with its last `tailLines` complete lines still to be shown.
    TraceFollower(std::filesystem::path folder, size_t tailLines);

    // The complete lines (without line ends) written since the last round. When a newer file has
    // appeared, the rest of the current file comes first, then the newer file from its start. A
    // file followed once is not returned to (several configurations may write files side by side).
    // The file is known by its identity, not its name: another file put in its place (a rotation,
    // a move over it) is read from its start; a file cut shorter is read on from its new end.
    std::vector<std::string> Poll();

    // The file being followed; empty while the folder has none.
    const std::filesystem::path& Current() const { return current_; }

    // How many times the follower moved on to a newer file.
    size_t Switches() const { return switches_; }

private:
    void ReadNew(std::vector<std::string>& lines);

    std::filesystem::path folder_;
    std::filesystem::path current_;
    std::optional<FileIdentity> identity_;  // of the file read so far at current_
    std::set<std::filesystem::path> followed_;
    uint64_t offset_ = 0;
    std::string partial_;
    std::vector<std::string> pending_;  // the last lines of the first file, shown by the first Poll
    size_t skipped_ = 0;
    size_t switches_ = 0;
};

}  // namespace vextrel::tool
