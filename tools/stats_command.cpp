// vextrel stats: per file, the session facts of its headers and what its records say in numbers.
#include <algorithm>
#include <cstdio>
#include <map>

#include "tools/commands.h"
#include "tools/trace_set.h"
#include "tools/trace_stats.h"

namespace vextrel::tool {
namespace {

struct StatsOptions : TraceFilesOptions {
    double bucketSeconds = 0;  // 0: chosen so that the run fits in about 20 rows
    size_t gapCount = 5;
};

std::string Seconds(uint64_t microseconds) { return FormatSeconds(microseconds) + " s"; }

void PrintSessions(const TraceStream& file) {
    for (const SessionHeader& session : file.Sessions()) {
        std::printf("  %s at line %zu: %s (pid 0x%lx, version %s)\n", session.refresh ? "refresh" : "session",
                    session.line, session.executablePath.c_str(), static_cast<unsigned long>(session.processId),
                    session.version.c_str());
        if (session.startUtc) {
            const UtcTime& t = *session.startUtc;
            std::printf("    started %04d-%02d-%02d %02d:%02d:%02d UTC at clock %s\n", t.year, t.month, t.day, t.hour,
                        t.minute, t.second,
                        session.startMicroseconds ? Seconds(*session.startMicroseconds).c_str() : "?");
        }
        if (!session.systemDetails.empty()) std::printf("    %s\n", session.systemDetails.c_str());
        for (const std::string& config : session.configFiles) std::printf("    config file %s\n", config.c_str());
        if (!session.machineId.empty()) std::printf("    machine %s\n", session.machineId.c_str());
        std::string traced;
        for (const HeaderFacility& facility : session.facilities)
            traced += " " + facility.name + "@" + facility.priorityName;
        std::printf("    traces%s\n", traced.empty() ? " nothing in this file" : traced.c_str());
        if (!session.complete) std::printf("    (header cut off)\n");
    }
}

template <typename Key>
std::vector<std::pair<Key, uint64_t>> ByCountDescending(const std::map<Key, uint64_t>& counts) {
    std::vector<std::pair<Key, uint64_t>> rows(counts.begin(), counts.end());
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    return rows;
}

void PrintRecords(const TraceStats& stats, const FacilityNames& names, const StatsOptions& options) {
    const uint64_t first = stats.First(), last = stats.Last();
    std::printf("  %llu records from %s to %s (%s)\n", static_cast<unsigned long long>(stats.Records()),
                Seconds(first).c_str(), Seconds(last).c_str(), Seconds(last >= first ? last - first : 0).c_str());
    std::printf("  per facility:\n");
    for (const auto& [id, count] : ByCountDescending(stats.PerFacility()))
        std::printf("    %04lx %-32s %llu\n", static_cast<unsigned long>(id), names.NameOf(id).c_str(),
                    static_cast<unsigned long long>(count));
    std::printf("  per thread:\n");
    for (const auto& [id, count] : ByCountDescending(stats.PerThread()))
        std::printf("    %05lx %llu\n", static_cast<unsigned long>(id), static_cast<unsigned long long>(count));

    // Counted in steps of the asked width, or of one second to be joined into about 20 rows.
    const uint64_t duration = last > first ? last - first : 0;
    uint64_t bucket = stats.Step();
    if (options.bucketSeconds <= 0) bucket = std::max<uint64_t>(1000000, (duration / 20 + 999999) / 1000000 * 1000000);
    std::map<uint64_t, uint64_t> perBucket;
    for (const auto& [step, count] : stats.PerStep()) perBucket[step * stats.Step() / bucket] += count;
    std::printf("  records per second, in steps of %s:\n", Seconds(bucket).c_str());
    for (uint64_t index = 0; index <= duration / bucket; ++index) {
        const auto found = perBucket.find(index);
        const uint64_t count = found != perBucket.end() ? found->second : 0;
        std::printf("    %s  %.1f\n", Seconds(first + index * bucket).c_str(),
                    static_cast<double>(count) * 1e6 / static_cast<double>(bucket));
    }

    std::printf("  longest gaps:\n");
    for (const Gap& gap : stats.LongestGaps())
        std::printf("    %s after line %zu (at %s)\n", Seconds(gap.length).c_str(), gap.line,
                    Seconds(gap.after).c_str());

    std::printf("  spans (records with an elapsed time):%s\n", stats.Spans().empty() ? " none" : "");
    for (const auto& [id, spans] : stats.Spans()) {
        std::printf(
            "    %04lx %-32s count %llu  p50 %llu us  p99 %llu us  max %llu us\n", static_cast<unsigned long>(id),
            names.NameOf(id).c_str(), static_cast<unsigned long long>(spans.Count()),
            static_cast<unsigned long long>(spans.Quantile(0.5)), static_cast<unsigned long long>(spans.Quantile(0.99)),
            static_cast<unsigned long long>(spans.Max()));
    }
}

int RunStats(const StatsOptions& options) {
    TraceFiles files(options.files, options.quiet, options.progressBytes);
    const RecordFilter filter(options.filter, files.Names());
    // Steps of one second are joined into rows when no width is asked.
    const uint64_t step = options.bucketSeconds > 0 ? static_cast<uint64_t>(options.bucketSeconds * 1e6) : 1000000;
    for (size_t index = 0; index < files.Streams().size(); ++index) {
        TraceStats stats(step, options.gapCount);
        while (const TraceEntry* entry = files.NextOf(index)) {
            if (filter.Accepts(*entry)) {
                stats.AddRecord(*entry);
            } else if (entry->kind != EntryKind::kRecord) {
                stats.AddOther(*entry);
            }
        }
        files.Done();
        const TraceStream& file = files.Streams()[index];
        std::printf("%s\n", file.Path().c_str());
        PrintSessions(file);
        if (stats.Records() == 0) {
            std::printf("  no records\n");
        } else {
            PrintRecords(stats, files.Names(), options);
        }
        std::printf("  lost-output reports: %llu (the file does not say how many records each stands for)\n",
                    static_cast<unsigned long long>(stats.Losses()));
        for (const Gap& loss : stats.LossesKept())
            std::printf("    line %zu, after the record at %s\n", loss.line, Seconds(loss.after).c_str());
        if (stats.Losses() > stats.LossesKept().size())
            std::printf("    and %llu more\n",
                        static_cast<unsigned long long>(stats.Losses() - stats.LossesKept().size()));
        if (stats.OtherLines() != 0)
            std::printf("  lines of no known form: %llu\n", static_cast<unsigned long long>(stats.OtherLines()));
        std::printf("  %s\n", file.Closed() ? "ends with the closing line"
                              : file.EndsMidLine()
                                  ? "ends in the middle of a line: cut off (crash?) or still being written"
                                  : "no closing line: the process did not stop tracing (crash?) or still runs");
    }
    return 0;
}

}  // namespace

void AddStatsCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<StatsOptions>();
    CLI::App* command = AddTraceFilesCommand(app, exitStatus, "stats",
                                             "Session facts and record statistics of trace files", options, RunStats);
    command->add_option("--bucket", options->bucketSeconds,
                        "Seconds per row of the record rate (0: whole seconds, about 20 rows)");
    command->add_option("--gaps", options->gapCount, "How many of the longest gaps to show");
}

}  // namespace vextrel::tool
