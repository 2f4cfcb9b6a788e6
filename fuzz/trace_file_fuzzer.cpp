// Feeds arbitrary bytes to the trace-file reader, whole and in pieces: reading must never fail,
// and pieces of any size must give the same entries as the whole text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/trace_file_reader.h"

namespace {

size_t LineCount(const std::vector<vextrel::tool::TraceEntry>& entries) {
    size_t count = 0;
    for (const auto& entry : entries) entry.ForEachLine([&](std::string_view) { ++count; });
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vextrel::tool;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const TraceFileContent whole = ReadTraceText(text);
    for (const TraceEntry& entry : whole.entries) {
        if (entry.session && *entry.session >= whole.sessions.size()) std::abort();
        if (entry.session) (void)WallTimeOf(whole.sessions[*entry.session], entry.microseconds);
        (void)FormatSeconds(entry.microseconds);
    }

    TraceFileReader reader;
    const size_t piece = size == 0 ? 1 : data[0] % 16 + 1;
    std::vector<TraceEntry> entries;
    // Each piece is fed from one buffer that the next piece overwrites, as a file's read buffer is.
    std::string buffer;
    for (size_t at = 0; at < size; at += piece) {
        buffer.assign(text.substr(at, piece));
        reader.Feed(buffer);
        for (TraceEntry& entry : reader.TakeEntries()) entries.push_back(std::move(entry));
        buffer.assign(buffer.size(), '\0');
    }
    reader.Finish();
    for (TraceEntry& entry : reader.TakeEntries()) entries.push_back(std::move(entry));
    if (entries.size() != whole.entries.size() || LineCount(entries) != LineCount(whole.entries)) std::abort();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].Lines() != whole.entries[i].Lines() || entries[i].Text() != whole.entries[i].Text())
            std::abort();
    }
    return 0;
}
