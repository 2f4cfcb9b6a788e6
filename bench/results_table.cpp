#include "bench/results_table.h"

#include <cstdarg>

#include "bench/format_cases.h"

namespace vextrel::bench {
namespace {

constexpr const char* kFloor = "floor (counter + vsnprintf)";
constexpr const char* kVextrel = "Vextrel VextrelFormat";
constexpr const char* kFloorMix = "floor, message mix";
constexpr const char* kVextrelMix = "Vextrel VextrelFormat, message mix";
constexpr const char* kSpdlog = "spdlog async";
constexpr const char* kGlog = "glog";

bool SameLoad(const LatencyLoad& a, const LatencyLoad& b) {
    return a.threads == b.threads && a.paced == b.paced && a.burst == b.burst;
}

const LatencyRow* Find(const BenchResults& results, const char* subject, const LatencyLoad& load) {
    for (const LatencyRow& row : results.latency) {
        if (row.subject == subject && SameLoad(row.load, load)) return &row;
    }
    return nullptr;
}

const MeanResult* FindMean(const BenchResults& results, const char* name) {
    for (const MeanResult& mean : results.means) {
        if (mean.name == name) return &mean;
    }
    return nullptr;
}

std::vector<LatencyLoad> Loads(const BenchResults& results) {
    std::vector<LatencyLoad> loads;
    for (const LatencyRow& row : results.latency) {
        bool known = false;
        for (const LatencyLoad& load : loads) known = known || SameLoad(load, row.load);
        if (!known) loads.push_back(row.load);
    }
    return loads;
}

void PrintLatency(const BenchResults& results, std::FILE* out) {
    std::fprintf(out, "### Per-call latency (ns)\n\n");
    std::fprintf(
        out,
        "| subject | load | p50 | p99 | p99.9 | calls | lost | preempted |\n|---|---|---:|---:|---:|---:|---:|---:|\n");
    for (const LatencyRow& row : results.latency) {
        const Distribution& d = row.distribution;
        std::string lost = row.lost < 0 ? "-" : std::to_string(row.lost);
        std::fprintf(out, "| %s | %s | %.0f | %.0f | %.0f | %llu | %s | %llu |\n", row.subject.c_str(),
                     LoadName(row.load).c_str(), d.p50, d.p99, d.p999, static_cast<unsigned long long>(row.calls),
                     lost.c_str(), static_cast<unsigned long long>(d.preemptions));
    }
    const Distribution& t = results.timerOverhead;
    std::fprintf(
        out, "| (stopwatch alone: empty call) | 1 thread, flat out | %.0f | %.0f | %.0f | %llu | - | %llu |\n\n", t.p50,
        t.p99, t.p999, static_cast<unsigned long long>(t.samples), static_cast<unsigned long long>(t.preemptions));
    for (const std::string& peer : results.missingPeers) {
        std::fprintf(out, "Peer not built (package missing): %s\n\n", peer.c_str());
    }
}

void PrintRatios(const BenchResults& results, std::FILE* out) {
    std::fprintf(out, "### Ratios (same run)\n\n");
    std::fprintf(out,
                 "| load | Vextrel ÷ floor p50 | p99 | p99.9 | Vextrel ÷ spdlog p50 | p99 | p99.9 | Vextrel ÷ glog p50 "
                 "| p99 |\n");
    std::fprintf(out, "|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const LatencyLoad& load : Loads(results)) {
        const LatencyRow* vextrel = Find(results, kVextrel, load);
        if (vextrel == nullptr) continue;
        const Distribution& v = vextrel->distribution;
        std::fprintf(out, "| %s", LoadName(load).c_str());
        for (const char* other : {kFloor, kSpdlog, kGlog}) {
            const LatencyRow* row = Find(results, other, load);
            const bool withTail = other != kGlog;
            if (row == nullptr) {
                std::fprintf(out, withTail ? " | - | - | -" : " | - | -");
                continue;
            }
            const Distribution& d = row->distribution;
            std::fprintf(out, " | %.2f | %.2f", v.p50 / d.p50, v.p99 / d.p99);
            if (withTail) std::fprintf(out, " | %.2f", v.p999 / d.p999);
        }
        std::fprintf(out, " |\n");
        const LatencyRow* mix = Find(results, kVextrelMix, load);
        const LatencyRow* floorMix = Find(results, kFloorMix, load);
        if (mix != nullptr && floorMix != nullptr) {
            const Distribution& m = mix->distribution;
            const Distribution& f = floorMix->distribution;
            std::fprintf(out, "| %s, message mix | %.2f | %.2f | %.2f | - | - | - | - | - |\n", LoadName(load).c_str(),
                         m.p50 / f.p50, m.p99 / f.p99, m.p999 / f.p999);
        }
    }
    std::fprintf(out, "\n");
    const LatencyLoad paced{1, true, 0};
    const LatencyRow* first = Find(results, kFirstPassSubject, paced);
    const LatencyRow* second = Find(results, kSecondPassSubject, paced);
    if (first != nullptr && second != nullptr) {
        const Distribution& f = first->distribution;
        const Distribution& s = second->distribution;
        std::fprintf(out, "New rings, first pass ÷ second pass: p50 %.2f, p99 %.2f, p99.9 %.2f\n\n", f.p50 / s.p50,
                     f.p99 / s.p99, f.p999 / s.p999);
    }
}

// The formatter against vsnprintf, from the mean cases of the same run.
void PrintFormatterRatios(const BenchResults& results, std::FILE* out) {
    const struct {
        const char* label;
        const char* ours;
        const char* theirs;
    } ratios[] = {
        {"FormatMessageText ÷ vsnprintf, bench message", kFormatterMessageCase, kVsnprintfMessageCase},
        {"FormatMessageText ÷ vsnprintf, mix", kFormatterMixOnlyCase, kVsnprintfMixCase},
        {"counter + FormatMessageText ÷ floor, mix", kFormatterMixCase, kFloorMixCase},
    };
    for (const auto& ratio : ratios) {
        const MeanResult* ours = FindMean(results, ratio.ours);
        const MeanResult* theirs = FindMean(results, ratio.theirs);
        if (ours != nullptr && theirs != nullptr && theirs->nanoseconds > 0) {
            std::fprintf(out, "| ratio %s | %.2f |\n", ratio.label, ours->nanoseconds / theirs->nanoseconds);
        }
    }
}

void PrintMeansAndWriter(const BenchResults& results, std::FILE* out) {
    std::fprintf(out,
                 "### Mean cost per call (Google Benchmark, thread CPU time, median of repetitions)\n\n| call | ns "
                 "|\n|---|---:|\n");
    for (const MeanResult& mean : results.means)
        std::fprintf(out, "| %s | %.2f |\n", mean.name.c_str(), mean.nanoseconds);
    // The two cheap calls net of their loops: the library's own cost.
    const struct {
        const char* call;
        const char* loop;
    } nets[] = {{"filtered-out VextrelFormat", kEmptyFormatCase}, {"VextrelFacilityOnFunc", kEmptyFacilityOnCase}};
    for (const auto& net : nets) {
        const MeanResult* call = FindMean(results, net.call);
        const MeanResult* loop = FindMean(results, net.loop);
        if (call != nullptr && loop != nullptr) {
            std::fprintf(out, "| %s, net of its loop | %.2f |\n", net.call, call->nanoseconds - loop->nanoseconds);
        }
    }
    PrintFormatterRatios(results, out);
    std::fprintf(out, "\n### Writer\n\n| measure | value |\n|---|---:|\n");
    std::fprintf(out, "| Vextrel writer, lines/s into the trace file (file current whenever it waits) | %.0f |\n",
                 results.writer.linesPerSecond);
    std::fprintf(out, "| floor: one thread, snprintf + fwrite + fflush per line, lines/s | %.0f |\n",
                 results.writeFloor.linesPerSecond);
    std::fprintf(
        out, "| ratio Vextrel ÷ floor | %.2f |\n",
        results.writeFloor.linesPerSecond > 0 ? results.writer.linesPerSecond / results.writeFloor.linesPerSecond : 0);
    if (results.burst.threads != 0) {
        std::fprintf(out,
                     "| burst of %u threads × %u calls flat out, default ring: records in the file (median) | %llu |\n",
                     results.burst.threads, results.burst.callsPerThread,
                     static_cast<unsigned long long>(results.burst.written));
    }
    std::fprintf(out, "| idle writer: process CPU over %.1f s without trace calls, ms | %.3f |\n", results.idleSeconds,
                 results.idleCpuMilliseconds);
    std::fprintf(out, "| the same measurement without any configuration, ms | %.3f |\n\n",
                 results.idleBaselineCpuMilliseconds);
}

void PrintTarget(std::FILE* out, const std::string& target, const std::string& measured, bool met) {
    std::fprintf(out, "| %s | %s | %s |\n", target.c_str(), measured.c_str(), met ? "met" : "NOT met");
}

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
    char text[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// The accepted call against its floor: the message at p50 and p99 and the mix at p50 on one thread,
// and each of two threads against one thread under the same load.
void PrintLatencyTargets(const BenchResults& results, const LatencyLoad& load, std::FILE* out) {
    const LatencyRow* vextrel = Find(results, kVextrel, load);
    const LatencyRow* floor = Find(results, kFloor, load);
    const LatencyRow* spdlog = Find(results, kSpdlog, load);
    const LatencyRow* mix = Find(results, kVextrelMix, load);
    const LatencyRow* floorMix = Find(results, kFloorMix, load);
    if (vextrel != nullptr && load.threads == 1 && floor != nullptr) {
        const Distribution& v = vextrel->distribution;
        const Distribution& f = floor->distribution;
        PrintTarget(out, "p50 ≤ 0.25 × floor p50, " + LoadName(load), Format("%.0f vs %.0f ns", v.p50, f.p50),
                    v.p50 <= 0.25 * f.p50);
        PrintTarget(out, "p99 ≤ 0.5 × floor p99, " + LoadName(load), Format("%.0f vs %.0f ns", v.p99, f.p99),
                    v.p99 <= 0.5 * f.p99);
    }
    LatencyLoad single = load;
    single.threads = 1;
    const LatencyRow* oneThread = Find(results, kVextrel, single);
    if (vextrel != nullptr && load.threads > 1 && oneThread != nullptr) {
        const double one = oneThread->distribution.p50;
        PrintTarget(out, "p50 ≤ 1.5 × the 1-thread p50, " + LoadName(load),
                    Format("%.0f vs %.0f ns", vextrel->distribution.p50, one), vextrel->distribution.p50 <= 1.5 * one);
    }
    if (vextrel != nullptr && spdlog != nullptr) {
        const Distribution& s = spdlog->distribution;
        PrintTarget(out, "p99 ≤ 0.1 × spdlog async p99, " + LoadName(load),
                    Format("%.0f vs %.0f ns", vextrel->distribution.p99, s.p99),
                    vextrel->distribution.p99 <= 0.1 * s.p99);
    }
    if (mix != nullptr && floorMix != nullptr && load.threads == 1) {
        const Distribution& m = mix->distribution;
        const Distribution& f = floorMix->distribution;
        PrintTarget(out, "message mix p50 ≤ 0.3 × floor of the mix, " + LoadName(load),
                    Format("%.0f vs %.0f ns", m.p50, f.p50), m.p50 <= 0.3 * f.p50);
    }
}

void PrintTargets(const BenchResults& results, std::FILE* out) {
    std::fprintf(out, "### Targets\n\n| target | measured | verdict |\n|---|---|---|\n");
    for (const LatencyLoad& load : Loads(results)) {
        // Sustained flat-out calls are mostly refused by a full queue: not the accepted call.
        if (load.paced || load.burst != 0) PrintLatencyTargets(results, load, out);
    }
    // The two cheap calls net of the bench loop around them.
    const struct {
        const char* name;
        const char* loop;
        double limit;
    } means[] = {{"filtered-out VextrelFormat", kEmptyFormatCase, 2.0},
                 {"VextrelFacilityOnFunc", kEmptyFacilityOnCase, 1.5}};
    for (const auto& goal : means) {
        const MeanResult* mean = FindMean(results, goal.name);
        const MeanResult* loop = FindMean(results, goal.loop);
        if (mean != nullptr && loop != nullptr) {
            const double net = mean->nanoseconds - loop->nanoseconds;
            PrintTarget(out, Format("%s ≤ %.1f ns net of its loop", goal.name, goal.limit), Format("%.2f ns", net),
                        net <= goal.limit);
        }
    }
    if (results.writeFloor.linesPerSecond > 0) {
        PrintTarget(out, "writer lines/s ≥ 3 × fwrite+fflush floor",
                    Format("%.0f vs %.0f lines/s", results.writer.linesPerSecond, results.writeFloor.linesPerSecond),
                    results.writer.linesPerSecond >= 3.0 * results.writeFloor.linesPerSecond);
    }
    if (results.burst.threads != 0) {
        const uint64_t calls = uint64_t{results.burst.threads} * results.burst.callsPerThread;
        PrintTarget(out,
                    Format("burst %u × %u, default ring: ≥ 8200 records in the file", results.burst.threads,
                           results.burst.callsPerThread),
                    Format("%llu of %llu", static_cast<unsigned long long>(results.burst.written),
                           static_cast<unsigned long long>(calls)),
                    results.burst.written >= 8200);
    }
    if (results.idleSeconds > 0) {
        PrintTarget(out, "idle writer CPU < 1 ms over 2 s",
                    Format("%.3f ms over %.1f s", results.idleCpuMilliseconds, results.idleSeconds),
                    results.idleCpuMilliseconds < 1.0);
    }
    std::fprintf(out, "\n");
}

}  // namespace

std::string LoadName(const LatencyLoad& load) {
    std::string name = std::to_string(load.threads) + (load.threads == 1 ? " thread, " : " threads, ") +
                       (load.paced ? "paced" : "flat out");
    if (load.burst != 0) name += ", bursts of " + std::to_string(load.burst);
    return name;
}

void PrintResults(const BenchResults& results, std::FILE* out) {
    if (results.processor >= 0) {
        std::fprintf(out,
                     "Calling threads pinned: thread 1 on processor %d, thread 2 on the one before; the writer "
                     "comparison on processor %d.\n\n",
                     results.processor, results.processor);
    }
    PrintLatency(results, out);
    PrintRatios(results, out);
    PrintMeansAndWriter(results, out);
    PrintTargets(results, out);
}

}  // namespace vextrel::bench
