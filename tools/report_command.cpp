// vextrel report: one HTML page about one or more trace files that opens from a file on a machine
// without network: the session facts, records per second by facility and by thread, the longest
// gaps, lost-output reports on the time axis, span durations per facility and a zoomable timeline
// of the threads. Everything it shows is gathered while the files are read, in bounded memory, and
// embedded in the page as JSON that the page's own script draws; a page of any trace stays small.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <queue>
#include <unordered_map>

#include "tools/commands.h"
#include "tools/json_text.h"
#include "tools/report_page.h"
#include "tools/time_bins.h"
#include "tools/trace_set.h"
#include "tools/trace_stats.h"

namespace vextrel::tool {
namespace {

struct ReportOptions : TraceFilesOptions {
    std::string output;
};

// Time bins across the run (the page joins them to its width) and the longest spans kept per
// thread for the timeline.
constexpr size_t kTimeBins = 2000;
constexpr size_t kSpansPerThread = 150;
constexpr size_t kGapsShown = 10;
constexpr size_t kLossMarks = 2000;
constexpr size_t kSpanTextLength = 60;

// One span kept for the timeline.
struct Span {
    uint64_t start = 0, duration = 0;
    uint32_t facility = 0;
    std::string text;
    bool operator>(const Span& other) const { return duration > other.duration; }
};

// A thread of a process: the process id in the high half.
uint64_t ThreadKey(uint32_t pid, uint32_t thread) { return uint64_t{pid} << 32 | thread; }

std::string Number(uint64_t value) { return std::to_string(value); }

void AppendBins(std::string& json, const std::vector<uint32_t>& bins, size_t used) {
    json += "[";
    for (size_t i = 0; i < used; ++i) {
        if (i) json += ",";
        json += std::to_string(bins[i]);
    }
    json += "]";
}

class ReportBuilder {
public:
    explicit ReportBuilder(TraceFiles& files) : files_(files), stats_(1000000, kGapsShown, kLossMarks) {}

    void Add(const TraceFiles::Merged& merged) {
        const TraceEntry& entry = *merged.entry;
        if (entry.kind != EntryKind::kRecord) {
            stats_.AddOther(entry, merged.file);
            return;
        }
        stats_.AddRecord(entry, merged.file);
        const uint32_t pid = ProcessOf(merged);
        const uint64_t thread = ThreadKey(pid, entry.threadId);
        perFacility_.Add(entry.microseconds, entry.facilityId);
        perThread_.Add(entry.microseconds, thread);
        if (!entry.elapsedMicroseconds) return;
        auto& spans = spans_[thread];
        const uint64_t duration = *entry.elapsedMicroseconds;
        if (spans.size() == kSpansPerThread && duration <= spans.top().duration) return;
        if (spans.size() == kSpansPerThread) spans.pop();
        spans.push({entry.microseconds - std::min(duration, entry.microseconds), duration, entry.facilityId,
                    std::string(entry.Text().substr(0, std::min(entry.Text().find('\n'), kSpanTextLength)))});
    }

    std::string Json() {
        const FacilityNames& names = files_.Names();
        std::string json = "{\"files\":[";
        for (size_t i = 0; i < files_.Streams().size(); ++i) {
            const TraceStream& file = files_.Streams()[i];
            json += (i ? "," : "") + std::string("{\"path\":") + JsonQuoted(file.Path()) +
                    ",\"closed\":" + (file.Closed() ? "true" : "false") + ",\"sessions\":[";
            for (size_t s = 0; s < file.Sessions().size(); ++s)
                json += (s ? "," : "") + SessionJson(file.Sessions()[s]);
            json += "]}";
        }
        json += "],\"records\":" + Number(stats_.Records()) + ",\"threads\":" + Number(perThread_.RowCount()) +
                ",\"losses\":" + Number(stats_.Losses()) + ",\"first\":" + Number(stats_.First()) +
                ",\"last\":" + Number(stats_.Last()) + ",\"origin\":" + Number(perThread_.Origin()) +
                ",\"binWidth\":" + Number(perThread_.Width()) + ",\"facilities\":[";
        bool first = true;
        // Both sets of bins share origin and width: they saw the same times.
        for (const auto& [id, bins] : perFacility_.Rows()) {
            const std::string name = names.NameOf(static_cast<uint32_t>(id));
            json += (first ? "" : ",") + std::string("{\"id\":") + Number(id) +
                    ",\"name\":" + JsonQuoted(name.empty() ? "facility " + Number(id) : name) + ",\"bins\":";
            AppendBins(json, bins, perFacility_.Used());
            json += "}";
            first = false;
        }
        json += "],\"threadRows\":[";
        first = true;
        for (const auto& [key, bins] : perThread_.Rows()) {
            char label[48];
            std::snprintf(label, sizeof label, "%s0x%05lx", ProcessLabel(static_cast<uint32_t>(key >> 32)).c_str(),
                          static_cast<unsigned long>(key & 0xffffffffu));
            json += (first ? "" : ",") + std::string("{\"label\":") + JsonQuoted(label) + ",\"bins\":";
            AppendBins(json, bins, perThread_.Used());
            json += ",\"spans\":[";
            auto spans = std::move(spans_[key]);
            for (bool firstSpan = true; !spans.empty(); spans.pop(), firstSpan = false) {
                const Span& span = spans.top();
                json += (firstSpan ? "[" : ",[") + Number(span.start) + "," + Number(span.duration) + "," +
                        Number(span.facility) + "," + JsonQuoted(span.text) + "]";
            }
            json += "]}";
            first = false;
        }
        json += "],\"lossMarks\":[";
        for (size_t i = 0; i < stats_.LossesKept().size(); ++i)
            json += (i ? "," : "") + Number(stats_.LossesKept()[i].after);
        json += "],\"gaps\":[";
        const std::vector<Gap> gaps = stats_.LongestGaps();
        for (size_t i = 0; i < gaps.size(); ++i) {
            json += (i ? "," : "") + std::string("{\"length\":") + Number(gaps[i].length) +
                    ",\"after\":" + Number(gaps[i].after) + ",\"line\":" + Number(gaps[i].line) +
                    ",\"file\":" + JsonQuoted(files_.Streams()[gaps[i].file].Path()) + "}";
        }
        json += "],\"spans\":[";
        first = true;
        for (const auto& [id, histogram] : stats_.Spans()) {
            // Joined into powers of two for the chart: bucket k holds values below 2^k.
            std::vector<uint64_t> powers;
            histogram.ForEachBucket([&](uint64_t low, uint64_t, uint64_t count) {
                const size_t power = static_cast<size_t>(std::bit_width(low));
                if (powers.size() <= power) powers.resize(power + 1);
                powers[power] += count;
            });
            json += (first ? "" : ",") + std::string("{\"id\":") + Number(id) +
                    ",\"name\":" + JsonQuoted(names.NameOf(id)) + ",\"count\":" + Number(histogram.Count()) +
                    ",\"p50\":" + Number(histogram.Quantile(0.5)) + ",\"p99\":" + Number(histogram.Quantile(0.99)) +
                    ",\"max\":" + Number(histogram.Max()) + ",\"powers\":[";
            for (size_t i = 0; i < powers.size(); ++i) json += (i ? "," : "") + Number(powers[i]);
            json += "]}";
            first = false;
        }
        return json + "]}";
    }

private:
    std::string SessionJson(const SessionHeader& session) const {
        std::string json =
            std::string("{\"refresh\":") + (session.refresh ? "true" : "false") + ",\"line\":" + Number(session.line) +
            ",\"executable\":" + JsonQuoted(session.executablePath) + ",\"pid\":" + Number(session.processId) +
            ",\"version\":" + JsonQuoted(session.version) + ",\"system\":" + JsonQuoted(session.systemDetails) +
            ",\"machine\":" + JsonQuoted(session.machineId) + ",\"build\":" + JsonQuoted(session.buildDetails);
        if (session.startUtc && session.startMicroseconds) {
            json += ",\"start\":" + JsonQuoted(WallTimeOf(session, *session.startMicroseconds).value_or(""));
        }
        json += ",\"configs\":[";
        for (size_t i = 0; i < session.configFiles.size(); ++i)
            json += (i ? "," : "") + JsonQuoted(session.configFiles[i]);
        json += "],\"traced\":[";
        for (size_t i = 0; i < session.facilities.size(); ++i)
            json += (i ? "," : "") + JsonQuoted(session.facilities[i].name + "@" + session.facilities[i].priorityName);
        return json + "]}";
    }

    // The header's process id; a file without a header gets a number of its own.
    uint32_t ProcessOf(const TraceFiles::Merged& merged) {
        const auto& session = merged.entry->session;
        // Most entries come from the file and header of one of the entries before.
        if (lastProcesses_.size() <= merged.file) lastProcesses_.resize(merged.file + 1);
        auto& [knownPid, knownSession] = lastProcesses_[merged.file];
        if (knownPid != 0 && knownSession == session) return knownPid;
        const TraceStream& file = files_.Streams()[merged.file];
        const uint32_t pid = session && file.Sessions()[*session].processId != 0
                                 ? file.Sessions()[*session].processId
                                 : static_cast<uint32_t>(merged.file + 1);
        if (!processNames_.count(pid)) {
            const std::string& path = session ? file.Sessions()[*session].executablePath : file.Path();
            processNames_[pid] = path.substr(path.find_last_of("/\\") + 1);
        }
        knownPid = pid;
        knownSession = session;
        return pid;
    }

    // The process's name before a thread id, when the report holds more than one process.
    std::string ProcessLabel(uint32_t pid) const {
        if (processNames_.size() < 2) return "";
        const auto found = processNames_.find(pid);
        return (found != processNames_.end() ? found->second : std::to_string(pid)) + " ";
    }

    TraceFiles& files_;
    TraceStats stats_;
    TimeBins perFacility_{kTimeBins, 1};
    TimeBins perThread_{kTimeBins, 1};
    std::vector<std::pair<uint32_t, std::optional<size_t>>> lastProcesses_;  // per file: its last entry's process
    std::unordered_map<uint64_t, std::priority_queue<Span, std::vector<Span>, std::greater<Span>>> spans_;
    std::map<uint32_t, std::string> processNames_;
};

int RunReport(const ReportOptions& options) {
    TraceFiles files(options.files, options.quiet, options.progressBytes);
    const RecordFilter filter(options.filter, files.Names());
    ReportBuilder builder(files);
    for (TraceFiles::Merged merged = files.Next(); merged.entry != nullptr; merged = files.Next()) {
        if (merged.entry->kind != EntryKind::kRecord || filter.Accepts(*merged.entry)) builder.Add(merged);
    }
    files.Done();
    std::string title = "Trace report: " + files.Streams()[0].Path();
    if (files.Streams().size() > 1) title += " and " + std::to_string(files.Streams().size() - 1) + " more";
    const std::string page = ReportPage(title, builder.Json());
    std::FILE* out = std::fopen(options.output.c_str(), "wb");
    const bool written = out != nullptr && std::fwrite(page.data(), 1, page.size(), out) == page.size();
    if (out != nullptr && std::fclose(out) != 0) throw std::runtime_error("cannot write " + options.output);
    if (!written) throw std::runtime_error("cannot write " + options.output);
    std::printf("report of %zu file%s written to %s\n", files.Streams().size(), files.Streams().size() == 1 ? "" : "s",
                options.output.c_str());
    return 0;
}

}  // namespace

void AddReportCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<ReportOptions>();
    CLI::App* command = AddTraceFilesCommand(
        app, exitStatus, "report", "Write one self-contained HTML page about trace files (opens without network)",
        options, RunReport);
    command->add_option("-o,--output", options->output, "The HTML file to write")->required();
}

}  // namespace vextrel::tool
