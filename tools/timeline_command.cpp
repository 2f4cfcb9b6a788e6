// vextrel timeline: trace files as trace-event JSON for timeline viewers. Each thread of each
// process is a track; a record is an instant event, or a complete event spanning its elapsed time
// when it has one; lost-output reports are process-wide instant events.
#include <charconv>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tools/commands.h"
#include "tools/json_text.h"
#include "tools/output_buffer.h"
#include "tools/trace_set.h"

namespace vextrel::tool {
namespace {

struct TimelineOptions : TraceFilesOptions {
    std::string output;
    bool wall = false;
};

constexpr size_t kEventNameLength = 80;

template <typename Number>
void AppendNumber(std::string& text, Number value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    text.append(digits, end);
}

// Appends a literal without measuring it at run time.
template <size_t size>
void Put(std::string& text, const char (&literal)[size]) {
    text.append(literal, size - 1);
}

// The event name: the first line of the message, cut to a readable length ("..." marks the cut).
struct EventName {
    std::string_view text;
    bool cut = false;
    bool SaysAllOf(std::string_view message) const { return !cut && !text.empty() && text.size() == message.size(); }
};
EventName EventNameOf(std::string_view message) {
    const std::string_view line = message.substr(0, message.find('\n'));
    if (line.size() > kEventNameLength) return {line.substr(0, kEventNameLength), true};
    return {line, false};
}

// Writes events as they come; the names of processes and threads, known only at the end, follow
// them (viewers take metadata events anywhere in the list).
class TimelineWriter {
public:
    TimelineWriter(TraceFiles& files, std::FILE* out, bool wall) : files_(files), out_(out), wall_(wall) {
        out_.Text() = "{\"displayTimeUnit\":\"ms\",\"traceEvents\":[\n";
    }

    void Add(const TraceFiles::Merged& merged) {
        const TraceEntry& entry = *merged.entry;
        const uint32_t pid = ProcessOf(merged);
        const int64_t time = TimeOf(merged);
        std::string& text = Start();
        if (entry.kind == EntryKind::kLostOutput) {
            Put(text, "{\"name\":\"lost output\",\"cat\":\"lost_output\",\"ph\":\"i\",\"s\":\"p\",\"ts\":");
            AppendNumber(text, time);
            Put(text, ",\"pid\":");
            AppendNumber(text, pid);
            Put(text, ",\"tid\":0,\"args\":{\"file\":");
            AppendJsonQuoted(text, files_.Streams()[merged.file].Path());
            Put(text, ",\"line\":");
            AppendNumber(text, entry.line);
            Put(text, "}}");
            out_.Written();
            return;
        }
        NameTrack(pid, entry);
        const std::string_view message = entry.Text();
        const EventName name = EventNameOf(message);
        Put(text, "{\"name\":");
        if (name.text.empty()) {
            Put(text, "\"(empty)\"");
        } else {
            AppendJsonQuoted(text, name.text);
            if (name.cut) text.insert(text.size() - 1, "...");
        }
        const FacilityText& facility = FacilityTextOf(entry.facilityId);
        text += facility.category;
        if (entry.elapsedMicroseconds) {
            const int64_t duration = static_cast<int64_t>(*entry.elapsedMicroseconds);
            Put(text, ",\"ph\":\"X\",\"ts\":");
            AppendNumber(text, time - duration);
            Put(text, ",\"dur\":");
            AppendNumber(text, duration);
        } else {
            Put(text, ",\"ph\":\"i\",\"s\":\"t\",\"ts\":");
            AppendNumber(text, time);
        }
        Put(text, ",\"pid\":");
        AppendNumber(text, pid);
        Put(text, ",\"tid\":");
        AppendNumber(text, entry.threadId);
        Put(text, ",\"args\":{");
        text += facility.arguments;
        Put(text, ",\"line\":");
        AppendNumber(text, entry.line);
        // The whole message only when the name does not already say it all.
        if (!name.SaysAllOf(message)) {
            Put(text, ",\"text\":");
            AppendJsonQuoted(text, message);
        }
        if (!entry.name.empty()) {
            Put(text, ",\"config\":");
            AppendJsonQuoted(text, entry.name);
        }
        if (wall_) text += ",\"time\":" + FormatSeconds(entry.microseconds);
        Put(text, "}}");
        out_.Written();
    }

    void Finish() {
        for (const auto& [pid, name] : processNames_) {
            Start() += "{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":" + std::to_string(pid) +
                       ",\"tid\":0,\"args\":{\"name\":" + JsonQuoted(name) + "}}";
        }
        for (const auto& [key, name] : threadNames_) {
            char id[16];
            std::snprintf(id, sizeof id, "0x%05lx", static_cast<unsigned long>(key.second));
            Start() += "{\"name\":\"thread_name\",\"ph\":\"M\",\"pid\":" + std::to_string(key.first) +
                       ",\"tid\":" + std::to_string(key.second) + ",\"args\":{\"name\":" +
                       JsonQuoted(std::string("thread ") + id + (name.empty() ? "" : " " + name)) + "}}";
        }
        out_.Text() += "\n]}\n";
        out_.Flush();
    }

private:
    // Every thread gets a track; one that records carry configuration names on is named after them.
    void NameTrack(uint32_t pid, const TraceEntry& entry) {
        if (!entry.name.empty()) {
            std::string& trackName = threadNames_[{pid, entry.threadId}];
            if (trackName.find(entry.name) == std::string::npos)
                trackName += (trackName.empty() ? "" : ", ") + entry.name;
        } else if (pid != lastPid_ || entry.threadId != lastThread_) {
            threadNames_.try_emplace({pid, entry.threadId});
        }
        lastPid_ = pid;
        lastThread_ = entry.threadId;
    }

    // What an event says about its facility: `,"cat":NAME` and `"facility_id":ID,"priority":LEVEL`,
    // the same for every record of a facility until a header names facilities anew.
    struct FacilityText {
        std::string category, arguments;
    };
    const FacilityText& FacilityTextOf(uint32_t facility) {
        const FacilityNames& names = files_.Names();
        if (names.Generation() != namesGeneration_) {
            facilityTexts_.clear();
            namesGeneration_ = names.Generation();
        }
        FacilityText& texts = facilityTexts_[facility];
        if (!texts.category.empty()) return texts;
        const std::string name = names.NameOf(facility);
        texts.category = ",\"cat\":" + JsonQuoted(name.empty() ? "facility " + std::to_string(facility) : name);
        texts.arguments = "\"facility_id\":" + std::to_string(facility);
        if (const auto level = names.ConfiguredPriorityOf(facility))
            texts.arguments += ",\"priority\":\"" + PriorityNameText(*level) + "\"";
        return texts;
    }

    // The text to append the next event to, after the separator from the one before.
    std::string& Start() {
        if (any_) out_.Text() += ",\n";
        any_ = true;
        return out_.Text();
    }

    const SessionHeader* SessionOf(const TraceFiles::Merged& merged) const {
        const auto& session = merged.entry->session;
        return session ? &files_.Streams()[merged.file].Sessions()[*session] : nullptr;
    }

    // The header's process id; a file without a header gets a number of its own.
    uint32_t ProcessOf(const TraceFiles::Merged& merged) {
        // Most entries come from the same file and header as one of the entries before.
        if (processFiles_.size() <= merged.file) processFiles_.resize(merged.file + 1);
        KnownProcess& known = processFiles_[merged.file];
        if (known.pid != 0 && known.session == merged.entry->session) return known.pid;
        const SessionHeader* session = SessionOf(merged);
        const uint32_t pid =
            session && session->processId != 0 ? session->processId : static_cast<uint32_t>(merged.file + 1);
        if (!processNames_.count(pid)) {
            const std::string& file = files_.Streams()[merged.file].Path();
            const std::string& path = session ? session->executablePath : file;
            const size_t slash = path.find_last_of("/\\");
            processNames_[pid] = (slash == std::string::npos ? path : path.substr(slash + 1)) + " (" + file + ")";
        }
        known = {pid, merged.entry->session};
        return pid;
    }

    int64_t TimeOf(const TraceFiles::Merged& merged) const {
        const int64_t time = static_cast<int64_t>(merged.entry->microseconds);
        if (!wall_) return time;
        const SessionHeader* session = DatingSessionOf(files_.Streams()[merged.file].Sessions(), *merged.entry);
        const auto wall = session ? WallMicrosecondsOf(*session, merged.entry->microseconds) : std::nullopt;
        return wall ? *wall : time;
    }

    TraceFiles& files_;
    OutputBuffer out_;
    bool wall_;
    bool any_ = false;
    std::map<uint32_t, std::string> processNames_;
    struct KnownProcess {
        uint32_t pid = 0;
        std::optional<size_t> session;
    };
    std::vector<KnownProcess> processFiles_;  // per file: the process of its last entry
    std::map<std::pair<uint32_t, uint32_t>, std::string> threadNames_;
    uint32_t lastPid_ = 0, lastThread_ = UINT32_MAX;
    std::unordered_map<uint32_t, FacilityText> facilityTexts_;
    uint64_t namesGeneration_ = UINT64_MAX;
};

int RunTimeline(const TimelineOptions& options) {
    TraceFiles files(options.files, options.quiet, options.progressBytes);
    const RecordFilter filter(options.filter, files.Names());
    std::FILE* out = std::fopen(options.output.c_str(), "wb");
    if (out == nullptr) throw std::runtime_error("cannot write " + options.output);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(out, std::fclose);
    TimelineWriter writer(files, out, options.wall);
    size_t records = 0;
    for (TraceFiles::Merged merged = files.Next(); merged.entry != nullptr; merged = files.Next()) {
        if (merged.entry->kind == EntryKind::kLostOutput || filter.Accepts(*merged.entry)) {
            records += merged.entry->kind == EntryKind::kRecord;
            writer.Add(merged);
        }
    }
    files.Done();
    writer.Finish();
    std::printf("%zu records from %zu file%s written to %s\n", records, files.Streams().size(),
                files.Streams().size() == 1 ? "" : "s", options.output.c_str());
    return 0;
}

}  // namespace

void AddTimelineCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<TimelineOptions>();
    CLI::App* command =
        AddTraceFilesCommand(app, exitStatus, "timeline", "Write trace files as trace-event JSON for timeline viewers",
                             options, RunTimeline);
    command->add_option("-o,--output", options->output, "The JSON file to write")->required();
    command->add_flag("--wall", options->wall,
                      "Time axis in wall-clock microseconds (aligns files of different boots)");
}

}  // namespace vextrel::tool
