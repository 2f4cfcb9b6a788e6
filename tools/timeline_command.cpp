// vextrel timeline: trace files as trace-event JSON for timeline viewers. Each thread of each
// process is a track; a record is an instant event, or a complete event spanning its elapsed time
// when it has one; lost-output reports are process-wide instant events.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <tuple>
#include <vector>

#include "tools/commands.h"
#include "tools/flat_index.h"
#include "tools/json_text.h"
#include "tools/output_buffer.h"
#include "tools/trace_set.h"

namespace vextrel::tool {
namespace {

struct TimelineOptions : TraceFilesOptions {
    std::string output;
    bool wall = false;
    bool lines = false;
};

constexpr size_t kEventNameLength = 80;

// Writes the event's name, the first line of the message cut to a readable length ("..." marks
// the cut), as a JSON string; returns the end, and whether the name says all of the message.
char* WriteEventName(char* at, std::string_view message, bool& saysAll) {
    size_t length = 0;
    char* const start = at;
    at = WriteJsonQuotedLine(at, message.substr(0, kEventNameLength), length);
    saysAll = length != 0 && length == message.size();
    if (length == 0) return WriteLiteral(start, "\"(empty)\"");
    if (length == kEventNameLength && message.size() > kEventNameLength && message[kEventNameLength] != '\n')
        at = WriteLiteral(at - 1, "...\"");
    return at;
}

// A piece of an event that every event of a track or facility repeats, kept so that writing it is
// a copy of fixed size (a few vector moves, no library call) when it is short, as it nearly always is.
class RepeatedText {
public:
    explicit RepeatedText(std::string_view text) : text_(text) {
        if (text.size() <= sizeof shortCopy_) std::memcpy(shortCopy_, text.data(), text.size());
    }
    size_t Size() const { return text_.size(); }
    // Writes the text at `at`, which has room for Size() + kSlack bytes; returns its end.
    char* WriteAt(char* at) const {
        if (text_.size() > sizeof shortCopy_) return WriteText(at, text_);
        std::memcpy(at, shortCopy_, sizeof shortCopy_);
        return at + text_.size();
    }
    static constexpr size_t kSlack = 48;

private:
    std::string text_;
    char shortCopy_[kSlack] = {};
};

// Event times in microseconds, written as decimal numbers. Times of events that follow each other
// differ in their last digits only: the digits above the last four are kept from the time before,
// so most times take a copy and two pairs from a table rather than a division per pair of digits.
class TimeWriter {
public:
    char* Write(char* at, int64_t time) {
        if (time < static_cast<int64_t>(kLow)) return WriteSigned(at, time);
        const uint64_t value = static_cast<uint64_t>(time);
        const uint64_t high = value / kLow, low = value % kLow;
        if (high != high_) {
            high_ = high;
            highLength_ = static_cast<size_t>(WriteDecimal(highText_, high) - highText_);
        }
        std::memcpy(at, highText_, sizeof highText_);
        at += highLength_;
        std::memcpy(at, kDigitPairs + low / 100 * 2, 2);
        std::memcpy(at + 2, kDigitPairs + low % 100 * 2, 2);
        return at + 4;
    }

private:
    static constexpr uint64_t kLow = 10000;
    uint64_t high_ = 0;  // no time below kLow takes this way
    size_t highLength_ = 0;
    char highText_[20] = {};  // the digits of high_; copied whole (a time takes at most 20 bytes)
};

// A duration, nearly always below 10 ms: up to four digits without a branch on how many.
char* WriteDuration(char* at, int64_t duration) {
    if (duration < 0 || duration >= 10000) return WriteSigned(at, duration);
    const uint32_t value = static_cast<uint32_t>(duration);
    // The four digits put together in a register: storing the pairs and loading them as one word
    // stalls the load until both stores are done (a tenth of the event writer's time).
    uint16_t high, low;
    std::memcpy(&high, kDigitPairs + value / 100 * 2, 2);
    std::memcpy(&low, kDigitPairs + value % 100 * 2, 2);
    uint32_t pairs = high | uint32_t{low} << 16;
    const unsigned digits = 1u + (value >= 10) + (value >= 100) + (value >= 1000);
    pairs >>= 8 * (4 - digits);  // the leading zeros are the low bytes
    std::memcpy(at, &pairs, 4);
    return at + digits;
}

// "seconds.micro" as in the file.
char* WriteSeconds(char* at, uint64_t microseconds) {
    at = WriteDecimal(at, microseconds / 1000000u);
    *at++ = '.';
    char micro[8];
    const uint64_t fraction = microseconds % 1000000u + 1000000u;  // the leading 1 keeps the zeros
    WriteDecimal(micro, fraction);
    return WriteText(at, std::string_view(micro + 1, 6));
}

// Writes events as they come, each with only what differs from event to event: its name, the
// facility as category, time, process, thread, and arguments only where the record has more to
// say (its line in the file when asked for). What holds for many events follows them once: the
// names of processes and threads (viewers take metadata events anywhere in the list) and, in the
// trace's metadata, the facility ids and the levels each header traced them at.
class TimelineWriter {
public:
    TimelineWriter(TraceFiles& files, OutputFile& out, bool wall, bool lines)
        : files_(files), out_(out), wall_(wall), lines_(lines) {
        out_.Append("{\"displayTimeUnit\":\"ms\",\"traceEvents\":[\n");
    }

    void Add(const TraceFiles::Merged& merged) {
        const TraceEntry& entry = *merged.entry;
        const uint32_t pid = ProcessOf(merged);
        const int64_t time = TimeOf(merged);
        if (entry.kind == EntryKind::kLostOutput) {
            const std::string& path = files_.Streams()[merged.file].Path();
            char* at = Start(160 + JsonQuotedBound(path.size()));
            at = WriteLiteral(at, "{\"name\":\"lost output\",\"cat\":\"lost_output\",\"ph\":\"i\",\"s\":\"p\",\"ts\":");
            at = WriteSigned(at, time);
            at = WriteLiteral(at, ",\"pid\":");
            at = WriteDecimal(at, pid);
            at = WriteLiteral(at, ",\"tid\":0,\"args\":{\"file\":");
            at = WriteJsonQuoted(at, path);
            at = WriteLiteral(at, ",\"line\":");
            at = WriteDecimal(at, entry.line);
            at = WriteLiteral(at, "}}");
            out_.Commit(at);
            return;
        }
        const Track& track = TrackOf(pid, entry);
        const std::string_view message = entry.Text();
        const RepeatedText& category = CategoryOf(entry.facilityId);
        // Room for the name and for the whole message besides it, which is written only when the
        // name does not say all of it.
        char* at = Start(kFixedEventBytes + JsonQuotedBound(std::min(message.size(), kEventNameLength)) +
                         category.Size() + JsonQuotedBound(message.size()) + JsonQuotedBound(entry.name.size()));
        at = WriteLiteral(at, "{\"name\":");
        bool nameSaysAll;
        at = WriteEventName(at, message, nameSaysAll);
        const bool wholeText = !nameSaysAll;
        at = category.WriteAt(at);
        // A complete event from its start for a timed record, else an instant event (without a
        // scope it belongs to its thread). Written without a branch on which: timed records come
        // with no pattern, so the duration is always written and kept only for a complete event.
        const bool timed = entry.elapsedMicroseconds.has_value();
        const int64_t duration = static_cast<int64_t>(entry.elapsedMicroseconds.value_or(0));
        at = WriteLiteral(at, ",\"ph\":\"");
        *at++ = timed ? 'X' : 'i';
        at = WriteLiteral(at, "\",\"ts\":");
        at = times_.Write(at, time - duration);
        char* const durationStart = at;
        at = WriteLiteral(at, ",\"dur\":");
        at = WriteDuration(at, duration);
        at = timed ? at : durationStart;
        at = track.ids.WriteAt(at);
        // Arguments only when the event has some: the line when asked for, the whole message when
        // the name does not already say it all, the configuration name, the file's time.
        char separator = '{';
        const auto argument = [&](auto& label) {
            *at++ = separator;
            separator = ',';
            at = WriteLiteral(at, label);
        };
        at = WriteLiteral(at, ",\"args\":");
        char* const argumentsStart = at;
        if (lines_) {
            argument("\"line\":");
            at = WriteDecimal(at, entry.line);
        }
        if (wholeText) {
            argument("\"text\":");
            at = WriteJsonQuoted(at, message);
        }
        if (!entry.name.empty()) {
            argument("\"config\":");
            at = WriteJsonQuoted(at, entry.name);
        }
        if (wall_) {
            argument("\"time\":");
            at = WriteSeconds(at, entry.microseconds);
        }
        if (at == argumentsStart) {
            at -= sizeof ",\"args\":" - 1;
        } else {
            *at++ = '}';
        }
        at = WriteLiteral(at, "}");
        out_.Commit(at);
    }

    void Finish() {
        for (const auto& [pid, name] : processNames_) {
            AppendEvent("{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":" + std::to_string(pid) +
                        ",\"tid\":0,\"args\":{\"name\":" + JsonQuoted(name) + "}}");
        }
        std::sort(tracks_.begin(), tracks_.end(),
                  [](const Track& a, const Track& b) { return std::tie(a.pid, a.tid) < std::tie(b.pid, b.tid); });
        for (const Track& track : tracks_) {
            char id[16];
            std::snprintf(id, sizeof id, "0x%05lx", static_cast<unsigned long>(track.tid));
            AppendEvent("{\"name\":\"thread_name\",\"ph\":\"M\",\"pid\":" + std::to_string(track.pid) +
                        ",\"tid\":" + std::to_string(track.tid) + ",\"args\":{\"name\":" +
                        JsonQuoted(std::string("thread ") + id + (track.names.empty() ? "" : " " + track.names)) +
                        "}}");
        }
        out_.Append("\n],\"metadata\":{\"facilities\":[");
        bool first = true;
        for (const auto& [id, name] : usedFacilities_) {
            out_.Append((first ? "\n{\"id\":" : ",\n{\"id\":") + std::to_string(id) + ",\"name\":" + name + "}");
            first = false;
        }
        out_.Append("],\n\"headers\":[");
        first = true;
        for (size_t file = 0; file < files_.Streams().size(); ++file) {
            const TraceStream& stream = files_.Streams()[file];
            for (const SessionHeader& session : stream.Sessions()) {
                std::string header = first ? "\n" : ",\n";
                first = false;
                header += "{\"pid\":" + std::to_string(PidOf(file, &session)) +
                          ",\"file\":" + JsonQuoted(stream.Path()) + ",\"line\":" + std::to_string(session.line) +
                          ",\"refresh\":" + (session.refresh ? "true" : "false") + ",\"traced\":{";
                for (size_t i = 0; i < session.facilities.size(); ++i) {
                    header += (i ? "," : "") + JsonQuoted(session.facilities[i].name) + ":" +
                              JsonQuoted(session.facilities[i].priorityName);
                }
                out_.Append(header + "}}");
            }
        }
        out_.Append("]}}\n");
        out_.Flush();
    }

private:
    // The bytes of an event besides its texts, numbers at their longest.
    static constexpr size_t kFixedEventBytes = 256 + 2 * RepeatedText::kSlack;

    // Every thread of a process gets a track; one that records carry configuration names on is named after them.
    struct Track {
        uint32_t pid = 0, tid = 0;
        std::string names;
        RepeatedText ids;  // `,"pid":P,"tid":T`, as every event of the track says
    };
    const Track& TrackOf(uint32_t pid, const TraceEntry& entry) {
        const uint64_t key = uint64_t{pid} << 32 | entry.threadId;
        uint32_t index = tracksByKey_.Find(key);
        if (index == FlatIndex::kNone) {
            index = static_cast<uint32_t>(tracks_.size());
            const std::string ids = ",\"pid\":" + std::to_string(pid) + ",\"tid\":" + std::to_string(entry.threadId);
            tracks_.push_back({pid, entry.threadId, {}, RepeatedText(ids)});
            tracksByKey_.Insert(key, index);
        }
        Track& track = tracks_[index];
        if (!entry.name.empty() && track.names.find(entry.name) == std::string::npos)
            track.names += (track.names.empty() ? "" : ", ") + entry.name;
        return track;
    }

    // `,"cat":NAME`, the same for every record of a facility until a header names facilities anew.
    const RepeatedText& CategoryOf(uint32_t facility) {
        const FacilityNames& names = files_.Names();
        if (names.Generation() != namesGeneration_) {
            categoriesById_.Clear();
            categories_.clear();
            namesGeneration_ = names.Generation();
        }
        const uint32_t known = categoriesById_.Find(facility);
        if (known != FlatIndex::kNone) return categories_[known];
        const std::string name = names.NameOf(facility);
        const std::string quoted = JsonQuoted(name.empty() ? "facility " + std::to_string(facility) : name);
        usedFacilities_[facility] = quoted;
        categoriesById_.Insert(facility, static_cast<uint32_t>(categories_.size()));
        categories_.emplace_back(",\"cat\":" + quoted);
        return categories_.back();
    }

    // The place for the next event, after the separator from the one before.
    char* Start(size_t bytes) {
        char* at = out_.Reserve(bytes + 2);
        if (any_) at = WriteLiteral(at, ",\n");
        any_ = true;
        return at;
    }
    void AppendEvent(const std::string& event) {
        char* at = Start(event.size());
        out_.Commit(WriteText(at, event));
    }

    const SessionHeader* SessionOf(const TraceFiles::Merged& merged) const {
        const auto& session = merged.entry->session;
        return session ? &files_.Streams()[merged.file].Sessions()[*session] : nullptr;
    }

    // The header's process id; a file without a header gets a number of its own.
    static uint32_t PidOf(size_t file, const SessionHeader* session) {
        return session && session->processId != 0 ? session->processId : static_cast<uint32_t>(file + 1);
    }

    uint32_t ProcessOf(const TraceFiles::Merged& merged) {
        // Most entries come from the same file and header as one of the entries before.
        if (processFiles_.size() <= merged.file) processFiles_.resize(merged.file + 1);
        KnownProcess& known = processFiles_[merged.file];
        if (known.pid != 0 && known.session == merged.entry->session) return known.pid;
        const SessionHeader* session = SessionOf(merged);
        const uint32_t pid = PidOf(merged.file, session);
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
    TimeWriter times_;
    bool wall_;
    bool lines_;
    bool any_ = false;
    std::map<uint32_t, std::string> processNames_;
    struct KnownProcess {
        uint32_t pid = 0;
        std::optional<size_t> session;
    };
    std::vector<KnownProcess> processFiles_;  // per file: the process of its last entry
    std::vector<Track> tracks_;
    FlatIndex tracksByKey_;
    std::vector<RepeatedText> categories_;
    FlatIndex categoriesById_;
    std::map<uint32_t, std::string> usedFacilities_;  // id: quoted name, for the metadata
    uint64_t namesGeneration_ = UINT64_MAX;
};

int RunTimeline(const TimelineOptions& options) {
    TraceFiles files(options.files, options.quiet, options.progressBytes);
    const RecordFilter filter(options.filter, files.Names());
    OutputFile out(options.output);
    TimelineWriter writer(files, out, options.wall, options.lines);
    size_t records = 0;
    for (TraceFiles::Merged merged = files.Next(); merged.entry != nullptr; merged = files.Next()) {
        if (merged.entry->kind == EntryKind::kLostOutput || filter.Accepts(*merged.entry)) {
            records += merged.entry->kind == EntryKind::kRecord;
            writer.Add(merged);
        }
    }
    files.Done();
    writer.Finish();
    out.Close();
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
    command->add_flag("--lines", options->lines, "Give each event the line of its record in the file");
}

}  // namespace vextrel::tool
