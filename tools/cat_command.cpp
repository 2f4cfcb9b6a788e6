// vextrel cat: the entries of one or more trace files, merged by time, filtered, as text or as
// one JSON object per line.
#include <cstdio>

#include "tools/commands.h"
#include "tools/json_text.h"
#include "tools/output_buffer.h"
#include "tools/trace_set.h"

namespace vextrel::tool {
namespace {

struct CatOptions : TraceFilesOptions {
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

std::optional<std::string> WallOf(const TraceStream& file, const TraceEntry& entry) {
    const SessionHeader* session = DatingSessionOf(file.Sessions(), entry);
    return session ? WallTimeOf(*session, entry.microseconds) : std::nullopt;
}

std::string JsonLine(const TraceStream& file, const TraceEntry& entry, const FacilityNames& names) {
    std::string line = "{\"file\":" + JsonQuoted(file.Path()) + ",\"line\":" + std::to_string(entry.line) +
                       ",\"kind\":\"" + KindName(entry.kind) + "\"";
    if (entry.kind == EntryKind::kRecord) {
        line += ",\"time\":" + FormatSeconds(entry.microseconds) + ",\"time_us\":" + std::to_string(entry.microseconds);
        if (const auto wall = WallOf(file, entry)) line += ",\"wall\":\"" + *wall + "\"";
        line += ",\"thread\":\"" + HexText(entry.threadId, 5) + "\",\"facility\":\"" + HexText(entry.facilityId, 4) +
                "\",\"facility_name\":" + JsonQuoted(names.NameOf(entry.facilityId));
        if (!entry.name.empty()) line += ",\"name\":" + JsonQuoted(entry.name);
        line += ",\"text\":" + JsonQuoted(entry.Text());
        if (entry.elapsedMicroseconds) line += ",\"elapsed_us\":" + std::to_string(*entry.elapsedMicroseconds);
    } else {
        line += ",\"lines\":[";
        bool first = true;
        entry.ForEachLine([&](std::string_view each) {
            line += (first ? "" : ",") + JsonQuoted(each);
            first = false;
        });
        line += "]";
    }
    return line + "}\n";
}

// The entry's lines as in the file; with `wall`, a record's time field is the wall-clock time.
void AppendTextLines(OutputBuffer& out, const TraceStream& file, const TraceEntry& entry, bool wall, bool withFile) {
    if (!wall && !withFile) {
        char* at = out.Reserve(entry.Lines().size() + 1);
        at = WriteText(at, entry.Lines());
        *at++ = '\n';
        out.Commit(at);
        return;
    }
    std::string text;
    bool first = true;
    entry.ForEachLine([&](std::string_view line) {
        if (withFile) text += file.Path() + ": ";
        if (first && wall && entry.kind == EntryKind::kRecord) {
            if (const auto time = WallOf(file, entry)) {
                text += *time;
                line.remove_prefix(line.find(','));
            }
        }
        first = false;
        text.append(line);
        text += '\n';
    });
    out.Append(text);
}

int RunCat(const CatOptions& options) {
    TraceFiles files(options.files, options.quiet, options.progressBytes);
    const RecordFilter filter(options.filter, files.Names());
    OutputBuffer out(stdout);
    for (TraceFiles::Merged merged = files.Next(); merged.entry != nullptr; merged = files.Next()) {
        const TraceEntry& entry = *merged.entry;
        const bool headerOrClosing = entry.kind == EntryKind::kHeader || entry.kind == EntryKind::kClosing;
        if (entry.kind == EntryKind::kRecord ? !filter.Accepts(entry)
                                             : options.recordsOnly || (options.noHeaders && headerOrClosing)) {
            continue;
        }
        const TraceStream& file = files.Streams()[merged.file];
        if (options.json) {
            out.Append(JsonLine(file, entry, files.Names()));
        } else {
            AppendTextLines(out, file, entry, options.wall, options.withFile);
        }
    }
    files.Done();
    out.Flush();
    return 0;
}

}  // namespace

void AddCatCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<CatOptions>();
    CLI::App* command = AddTraceFilesCommand(app, exitStatus, "cat", "Print the records of trace files, merged by time",
                                             options, RunCat);
    command->add_flag("--records-only", options->recordsOnly,
                      "Leave out header blocks, lost-output reports, closing lines and lines of no known form");
    command->add_flag("--no-headers", options->noHeaders, "Leave out header blocks and closing lines");
    command->add_flag("--json", options->json, "One JSON object per entry");
    command->add_flag("--wall", options->wall,
                      "Wall-clock (UTC) times from the header instead of clock seconds (exact to within a second)");
    command->add_flag("--with-file", options->withFile, "Start each text line with the file's path");
}

}  // namespace vextrel::tool
