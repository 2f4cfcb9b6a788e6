// vextrel stats: per file, the session facts of its headers and what its records say in numbers.
#include <algorithm>
#include <cstdio>
#include <map>

#include "tools/commands.h"
#include "tools/trace_set.h"

namespace vextrel::tool {
namespace {

struct StatsOptions {
    std::vector<std::string> files;
    FilterOptions filter;
    double bucketSeconds = 0;  // 0: chosen so that the run fits in about 20 rows
    size_t gapCount = 5;
};

std::string Seconds(uint64_t microseconds) { return FormatSeconds(microseconds) + " s"; }

// The value at quantile q (0..1) of sorted values, by the nearest-rank rule.
uint64_t Quantile(const std::vector<uint64_t>& sorted, double q) {
    size_t rank = static_cast<size_t>(q * static_cast<double>(sorted.size()) + 0.999999);
    rank = std::clamp<size_t>(rank, 1, sorted.size());
    return sorted[rank - 1];
}

void PrintSessions(const LoadedFile& file) {
    for (const SessionHeader& session : file.content.sessions) {
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
std::vector<std::pair<Key, size_t>> ByCountDescending(const std::map<Key, size_t>& counts) {
    std::vector<std::pair<Key, size_t>> rows(counts.begin(), counts.end());
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    return rows;
}

void PrintRecords(const std::vector<const TraceEntry*>& records, const FacilityNames& names,
                  const StatsOptions& options) {
    std::map<uint32_t, size_t> perFacility, perThread;
    std::map<uint32_t, std::vector<uint64_t>> spans;
    for (const TraceEntry* record : records) {
        ++perFacility[record->facilityId];
        ++perThread[record->threadId];
        if (record->elapsedMicroseconds) spans[record->facilityId].push_back(*record->elapsedMicroseconds);
    }
    const uint64_t first = records.front()->microseconds, last = records.back()->microseconds;
    std::printf("  %zu records from %s to %s (%s)\n", records.size(), Seconds(first).c_str(), Seconds(last).c_str(),
                Seconds(last >= first ? last - first : 0).c_str());
    std::printf("  per facility:\n");
    for (const auto& [id, count] : ByCountDescending(perFacility))
        std::printf("    %04lx %-32s %zu\n", static_cast<unsigned long>(id), names.NameOf(id).c_str(), count);
    std::printf("  per thread:\n");
    for (const auto& [id, count] : ByCountDescending(perThread))
        std::printf("    %05lx %zu\n", static_cast<unsigned long>(id), count);

    const uint64_t duration = last > first ? last - first : 0;
    uint64_t bucket = static_cast<uint64_t>(options.bucketSeconds * 1e6);
    if (bucket == 0) bucket = std::max<uint64_t>(1000000, (duration / 20 + 999999) / 1000000 * 1000000);
    std::map<uint64_t, size_t> perBucket;
    for (const TraceEntry* record : records) ++perBucket[(record->microseconds - std::min(first, record->microseconds)) / bucket];
    std::printf("  records per second, in steps of %s:\n", Seconds(bucket).c_str());
    for (uint64_t index = 0; index <= duration / bucket; ++index) {
        const size_t count = perBucket.count(index) ? perBucket[index] : 0;
        std::printf("    %s  %.1f\n", Seconds(first + index * bucket).c_str(),
                    static_cast<double>(count) * 1e6 / static_cast<double>(bucket));
    }

    std::vector<std::pair<uint64_t, const TraceEntry*>> gaps;
    for (size_t i = 1; i < records.size(); ++i) {
        const uint64_t before = records[i - 1]->microseconds, after = records[i]->microseconds;
        if (after > before) gaps.emplace_back(after - before, records[i - 1]);
    }
    std::stable_sort(gaps.begin(), gaps.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::printf("  longest gaps:\n");
    for (size_t i = 0; i < gaps.size() && i < options.gapCount; ++i)
        std::printf("    %s after line %zu (at %s)\n", Seconds(gaps[i].first).c_str(), gaps[i].second->line,
                    Seconds(gaps[i].second->microseconds).c_str());

    std::printf("  spans (records with an elapsed time):%s\n", spans.empty() ? " none" : "");
    for (auto& [id, values] : spans) {
        std::sort(values.begin(), values.end());
        std::printf("    %04lx %-32s count %zu  p50 %llu us  p99 %llu us  max %llu us\n",
                    static_cast<unsigned long>(id), names.NameOf(id).c_str(), values.size(),
                    static_cast<unsigned long long>(Quantile(values, 0.5)),
                    static_cast<unsigned long long>(Quantile(values, 0.99)),
                    static_cast<unsigned long long>(values.back()));
    }
}

int RunStats(const StatsOptions& options) {
    const std::vector<LoadedFile> files = LoadFiles(options.files);
    const FacilityNames names(ContentsOf(files));
    const RecordFilter filter(options.filter, names);
    for (const LoadedFile& file : files) {
        std::printf("%s\n", file.path.c_str());
        PrintSessions(file);
        std::vector<const TraceEntry*> records;
        std::vector<const TraceEntry*> losses;
        size_t other = 0;
        for (const TraceEntry& entry : file.content.entries) {
            if (filter.Accepts(entry)) records.push_back(&entry);
            if (entry.kind == EntryKind::kLostOutput) losses.push_back(&entry);
            if (entry.kind == EntryKind::kOther) ++other;
        }
        if (records.empty()) {
            std::printf("  no records\n");
        } else {
            PrintRecords(records, names, options);
        }
        std::printf("  lost-output reports: %zu (the file does not say how many records each stands for)\n",
                    losses.size());
        for (const TraceEntry* loss : losses)
            std::printf("    line %zu, after the record at %s\n", loss->line, Seconds(loss->microseconds).c_str());
        if (other != 0) std::printf("  lines of no known form: %zu\n", other);
        std::printf("  %s\n", file.content.closed ? "ends with the closing line"
                              : file.content.endsMidLine
                                  ? "ends in the middle of a line: cut off (crash?) or still being written"
                                  : "no closing line: the process did not stop tracing (crash?) or still runs");
    }
    return 0;
}

}  // namespace

void AddStatsCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<StatsOptions>();
    CLI::App* command = AddTraceFilesCommand(app, exitStatus, "stats", "Session facts and record statistics of trace files",
                                             options, RunStats);
    command->add_option("--bucket", options->bucketSeconds, "Seconds per row of the record rate (default: about 20 rows)");
    command->add_option("--gaps", options->gapCount, "How many of the longest gaps to show");
}

}  // namespace vextrel::tool
