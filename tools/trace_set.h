// Several trace files read together and their entries put on one time axis.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/trace_file_reader.h"

namespace vextrel::tool {

// One file as read, with the path it was given by.
struct LoadedFile {
    std::string path;
    TraceFileContent content;
};

// One entry of one file in the merged order.
struct MergedEntry {
    size_t file = 0;
    const TraceEntry* entry = nullptr;
};

// Reads every path; throws std::runtime_error naming the first file that cannot be read.
std::vector<LoadedFile> LoadFiles(const std::vector<std::string>& paths);

// The entries of all files ordered by time. Each file keeps its own order (its records are written
// in the order they were queued, which may differ slightly from their times); among the heads of
// the files the earliest goes first, the earlier file on a tie.
std::vector<MergedEntry> MergeByTime(const std::vector<LoadedFile>& files);

// The contents of the files, for FacilityNames.
std::vector<const TraceFileContent*> ContentsOf(const std::vector<LoadedFile>& files);

}  // namespace vextrel::tool
