// vextrel timeline: trace files as trace-event JSON for timeline viewers. Each thread of each
// process is a track; a record is an instant event, or a complete event spanning its elapsed time
// when it has one; lost-output reports are process-wide instant events.
#include <fstream>
#include <map>
#include <set>

#include "tools/commands.h"
#include "tools/json_text.h"
#include "tools/trace_set.h"

namespace vextrel::tool {
namespace {

struct TimelineOptions {
    std::vector<std::string> files;
    std::string output;
    FilterOptions filter;
    bool wall = false;
};

constexpr size_t kEventNameLength = 80;

// The event name: the first line of the message, cut to a readable length.
std::string EventName(const std::string& text) {
    std::string name = text.substr(0, text.find('\n'));
    if (name.size() > kEventNameLength) name = name.substr(0, kEventNameLength) + "...";
    return name.empty() ? "(empty)" : name;
}

class TimelineWriter {
public:
    TimelineWriter(const std::vector<LoadedFile>& files, const FacilityNames& names, bool wall)
        : files_(files), names_(names), wall_(wall) {}

    void Add(const MergedEntry& merged) {
        const TraceEntry& entry = *merged.entry;
        const uint32_t pid = ProcessOf(merged);
        int64_t time = TimeOf(merged);
        if (entry.kind == EntryKind::kLostOutput) {
            Event("{\"name\":\"lost output\",\"cat\":\"lost_output\",\"ph\":\"i\",\"s\":\"p\",\"ts\":" +
                  std::to_string(time) + ",\"pid\":" + std::to_string(pid) + ",\"tid\":0,\"args\":{\"file\":" +
                  JsonQuoted(files_[merged.file].path) + ",\"line\":" + std::to_string(entry.line) + "}}");
            return;
        }
        std::string& trackName = threadNames_[{pid, entry.threadId}];
        if (!entry.name.empty() && trackName.find(entry.name) == std::string::npos)
            trackName += (trackName.empty() ? "" : ", ") + entry.name;
        const std::string facility = names_.NameOf(entry.facilityId);
        const auto level = names_.ConfiguredPriorityOf(entry.facilityId);
        std::string event = "{\"name\":" + JsonQuoted(EventName(entry.text)) + ",\"cat\":" +
                            JsonQuoted(facility.empty() ? "facility " + std::to_string(entry.facilityId) : facility);
        if (entry.elapsedMicroseconds) {
            const int64_t duration = static_cast<int64_t>(*entry.elapsedMicroseconds);
            event += ",\"ph\":\"X\",\"ts\":" + std::to_string(time - duration) + ",\"dur\":" + std::to_string(duration);
        } else {
            event += ",\"ph\":\"i\",\"s\":\"t\",\"ts\":" + std::to_string(time);
        }
        event += ",\"pid\":" + std::to_string(pid) + ",\"tid\":" + std::to_string(entry.threadId) +
                 ",\"args\":{\"facility_id\":" + std::to_string(entry.facilityId) +
                 (level ? ",\"priority\":\"" + PriorityNameText(*level) + "\"" : std::string()) +
                 ",\"time\":" + FormatSeconds(entry.microseconds) + ",\"text\":" + JsonQuoted(entry.text) +
                 (entry.name.empty() ? std::string() : ",\"config\":" + JsonQuoted(entry.name)) +
                 ",\"file\":" + JsonQuoted(files_[merged.file].path) + ",\"line\":" + std::to_string(entry.line) + "}}";
        Event(event);
    }

    std::string Finish() {
        for (const auto& [pid, name] : processNames_) {
            Event("{\"name\":\"process_name\",\"ph\":\"M\",\"pid\":" + std::to_string(pid) +
                  ",\"tid\":0,\"args\":{\"name\":" + JsonQuoted(name) + "}}");
        }
        for (const auto& [key, name] : threadNames_) {
            char id[16];
            std::snprintf(id, sizeof id, "0x%05lx", static_cast<unsigned long>(key.second));
            Event("{\"name\":\"thread_name\",\"ph\":\"M\",\"pid\":" + std::to_string(key.first) +
                  ",\"tid\":" + std::to_string(key.second) + ",\"args\":{\"name\":" +
                  JsonQuoted(std::string("thread ") + id + (name.empty() ? "" : " " + name)) + "}}");
        }
        return "{\"displayTimeUnit\":\"ms\",\"traceEvents\":[\n" + events_ + "\n]}\n";
    }

private:
    void Event(const std::string& event) {
        if (!events_.empty()) events_ += ",\n";
        events_ += event;
    }

    const SessionHeader* SessionOf(const MergedEntry& merged) const {
        const auto& session = merged.entry->session;
        return session ? &files_[merged.file].content.sessions[*session] : nullptr;
    }

    // The header's process id; a file without a header gets a number of its own.
    uint32_t ProcessOf(const MergedEntry& merged) {
        const SessionHeader* session = SessionOf(merged);
        const uint32_t pid = session && session->processId != 0 ? session->processId
                                                                 : static_cast<uint32_t>(merged.file + 1);
        if (!processNames_.count(pid)) {
            const std::string& path = session ? session->executablePath : files_[merged.file].path;
            const size_t slash = path.find_last_of("/\\");
            processNames_[pid] = (slash == std::string::npos ? path : path.substr(slash + 1)) + " (" +
                                 files_[merged.file].path + ")";
        }
        return pid;
    }

    int64_t TimeOf(const MergedEntry& merged) const {
        const int64_t time = static_cast<int64_t>(merged.entry->microseconds);
        if (!wall_) return time;
        const SessionHeader* session = DatingSessionOf(files_[merged.file].content, *merged.entry);
        const auto wall = session ? WallMicrosecondsOf(*session, merged.entry->microseconds) : std::nullopt;
        return wall ? *wall : time;
    }

    const std::vector<LoadedFile>& files_;
    const FacilityNames& names_;
    bool wall_;
    std::map<uint32_t, std::string> processNames_;
    std::map<std::pair<uint32_t, uint32_t>, std::string> threadNames_;
    std::string events_;
};

int RunTimeline(const TimelineOptions& options) {
    const std::vector<LoadedFile> files = LoadFiles(options.files);
    const FacilityNames names(ContentsOf(files));
    const RecordFilter filter(options.filter, names);
    TimelineWriter writer(files, names, options.wall);
    size_t records = 0;
    for (const MergedEntry& merged : MergeByTime(files)) {
        if (merged.entry->kind == EntryKind::kLostOutput || filter.Accepts(*merged.entry)) {
            records += merged.entry->kind == EntryKind::kRecord;
            writer.Add(merged);
        }
    }
    const std::string json = writer.Finish();
    std::ofstream out(options.output, std::ios::binary | std::ios::trunc);
    out << json;
    if (!out.flush()) throw std::runtime_error("cannot write " + options.output);
    std::printf("%zu records from %zu file%s written to %s\n", records, files.size(), files.size() == 1 ? "" : "s",
                options.output.c_str());
    return 0;
}

}  // namespace

void AddTimelineCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<TimelineOptions>();
    CLI::App* command = AddTraceFilesCommand(app, exitStatus, "timeline",
                                             "Write trace files as trace-event JSON for timeline viewers", options, RunTimeline);
    command->add_option("-o,--output", options->output, "The JSON file to write")->required();
    command->add_flag("--wall", options->wall, "Time axis in wall-clock microseconds (aligns files of different boots)");
}

}  // namespace vextrel::tool
