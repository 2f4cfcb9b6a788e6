#include "tools/trace_set.h"

#include <stdexcept>

namespace vextrel::tool {

std::vector<LoadedFile> LoadFiles(const std::vector<std::string>& paths) {
    std::vector<LoadedFile> files;
    for (const std::string& path : paths) {
        std::optional<TraceFileContent> content = ReadTraceFile(path);
        if (!content) throw std::runtime_error("cannot read " + path);
        files.push_back({path, std::move(*content)});
    }
    return files;
}

std::vector<MergedEntry> MergeByTime(const std::vector<LoadedFile>& files) {
    std::vector<size_t> next(files.size(), 0);
    std::vector<MergedEntry> merged;
    for (;;) {
        size_t best = files.size();
        for (size_t i = 0; i < files.size(); ++i) {
            const auto& entries = files[i].content.entries;
            if (next[i] == entries.size()) continue;
            if (best == files.size() ||
                entries[next[i]].microseconds < files[best].content.entries[next[best]].microseconds) {
                best = i;
            }
        }
        if (best == files.size()) return merged;
        merged.push_back({best, &files[best].content.entries[next[best]++]});
    }
}

std::vector<const TraceFileContent*> ContentsOf(const std::vector<LoadedFile>& files) {
    std::vector<const TraceFileContent*> contents;
    for (const LoadedFile& file : files) contents.push_back(&file.content);
    return contents;
}

}  // namespace vextrel::tool
