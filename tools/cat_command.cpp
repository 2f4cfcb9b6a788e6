// vextrel cat: the entries of one or more trace files, merged by time, filtered, as text or as
// one JSON object per line.
#include <cstdio>

#include "tools/commands.h"
#include "tools/json_text.h"
#include "tools/trace_set.h"

namespace vextrel::tool {
namespace {

struct CatOptions {
    std::vector<std::string> files;
    FilterOptions filter;
    bool recordsOnly = false;
    bool noHeaders = false;
    bool json = false;
    bool wall = false;
    bool withFile = false;
};

const char* KindName(EntryKind kind) {
    switch (kind) {
        case EntryKind::kRecord: return "record";
        case EntryKind::kHeader: return "header";
        case EntryKind::kLostOutput: return "lost_output";
        case EntryKind::kClosing: return "closing";
        case EntryKind::kOther: return "other";
    }
    return "other";
}

std::string HexText(uint32_t value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*lx", width, static_cast<unsigned long>(value));
    return text;
}

std::optional<std::string> WallOf(const LoadedFile& file, const TraceEntry& entry) {
    const SessionHeader* session = DatingSessionOf(file.content, entry);
    return session ? WallTimeOf(*session, entry.microseconds) : std::nullopt;
}

std::string JsonLine(const LoadedFile& file, const TraceEntry& entry, const FacilityNames& names) {
    std::string line = "{\"file\":" + JsonQuoted(file.path) + ",\"line\":" + std::to_string(entry.line) +
                       ",\"kind\":\"" + KindName(entry.kind) + "\"";
    if (entry.kind == EntryKind::kRecord) {
        line += ",\"time\":" + FormatSeconds(entry.microseconds) + ",\"time_us\":" + std::to_string(entry.microseconds);
        if (const auto wall = WallOf(file, entry)) line += ",\"wall\":\"" + *wall + "\"";
        line += ",\"thread\":\"" + HexText(entry.threadId, 5) + "\",\"facility\":\"" + HexText(entry.facilityId, 4) +
                "\",\"facility_name\":" + JsonQuoted(names.NameOf(entry.facilityId));
        if (!entry.name.empty()) line += ",\"name\":" + JsonQuoted(entry.name);
        line += ",\"text\":" + JsonQuoted(entry.text);
        if (entry.elapsedMicroseconds) line += ",\"elapsed_us\":" + std::to_string(*entry.elapsedMicroseconds);
    } else {
        line += ",\"lines\":[";
        for (size_t i = 0; i < entry.lines.size(); ++i) line += (i ? "," : "") + JsonQuoted(entry.lines[i]);
        line += "]";
    }
    return line + "}\n";
}

// The entry's lines as in the file; with `wall`, a record's time field is the wall-clock time.
std::string TextLines(const LoadedFile& file, const TraceEntry& entry, bool wall, bool withFile) {
    std::string text;
    for (size_t i = 0; i < entry.lines.size(); ++i) {
        if (withFile) text += file.path + ": ";
        std::string_view line = entry.lines[i];
        if (i == 0 && wall && entry.kind == EntryKind::kRecord) {
            if (const auto time = WallOf(file, entry)) {
                text += *time;
                line.remove_prefix(line.find(','));
            }
        }
        text.append(line);
        text += '\n';
    }
    return text;
}

int RunCat(const CatOptions& options) {
    const std::vector<LoadedFile> files = LoadFiles(options.files);
    const FacilityNames names(ContentsOf(files));
    const RecordFilter filter(options.filter, names);
    for (const MergedEntry& merged : MergeByTime(files)) {
        const TraceEntry& entry = *merged.entry;
        const bool headerOrClosing = entry.kind == EntryKind::kHeader || entry.kind == EntryKind::kClosing;
        if (entry.kind == EntryKind::kRecord ? !filter.Accepts(entry)
                                             : options.recordsOnly || (options.noHeaders && headerOrClosing)) {
            continue;
        }
        const LoadedFile& file = files[merged.file];
        const std::string out = options.json ? JsonLine(file, entry, names)
                                             : TextLines(file, entry, options.wall, options.withFile);
        std::fwrite(out.data(), 1, out.size(), stdout);
    }
    return 0;
}

}  // namespace

void AddCatCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<CatOptions>();
    CLI::App* command =
        AddTraceFilesCommand(app, exitStatus, "cat", "Print the records of trace files, merged by time", options, RunCat);
    command->add_flag("--records-only", options->recordsOnly,
                      "Leave out header blocks, lost-output reports, closing lines and lines of no known form");
    command->add_flag("--no-headers", options->noHeaders, "Leave out header blocks and closing lines");
    command->add_flag("--json", options->json, "One JSON object per entry");
    command->add_flag("--wall", options->wall, "Wall-clock (UTC) times from the header instead of clock seconds (exact to within a second)");
    command->add_flag("--with-file", options->withFile, "Start each text line with the file's path");
}

}  // namespace vextrel::tool
