// bench_vextrel: one run measures the trace call against its floor and the peer loggers, the
// writer's throughput and its idle cost, and prints the figures with their ratios.
//
//   bench_vextrel            the full run (a few minutes)
//   bench_vextrel --smoke    every case once with a tiny count: proves the program works; the test
//                            script's --benchmark_min_time=0 means the same, other --benchmark_
//                            flags are ignored
//   --keep                   leave the trace and log files in the temporary folder
//   --only PART              run one part: idle, means, latency or writer
//   --match TEXT             latency: only the rows whose "subject, load" contains TEXT
//   --cpu N                  calling threads run on processors N, N-1, ...; the writer comparison
//                            runs on N (default: the last processor; -1: no pinning)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "bench/cycle_clock.h"
#include "bench/idle_cost.h"
#include "bench/latency_subject.h"
#include "bench/results_table.h"
#include "bench/vextrel_cases.h"
#include "bench/vextrel_session.h"

namespace vextrel::bench {
namespace {

struct Counts {
    uint32_t rounds;  // the calls of each subject and load are split into this many turns
    uint32_t flatCalls;
    uint32_t flatWarmup;
    uint32_t pacedCalls;
    uint32_t pacedWarmup;
    double idleSeconds;
    uint32_t writerRounds;
    uint32_t writerLines;
    uint32_t timerCalls;
};

constexpr Counts kFullCounts{10, 200000, 20000, 100000, 2000, 2.0, 40, 4093, 200000};
// Calls per thread in one burst: two threads' bursts fit the default queue (4093 records).
constexpr uint32_t kBurst = 2000;
// The writer burst: threads, calls per thread and rounds. The burst overruns the default ring about
// six times over, so the writer's pace decides how much of it reaches the file.
constexpr uint32_t kBurstThreads = 4;
constexpr uint32_t kBurstCallsPerThread = 6000;
constexpr uint32_t kBurstRounds = 5;

// New rings for the first-pass measurement: a pass of the default ring is about 20 ms paced.
constexpr uint32_t kNewRings = 5;

constexpr Counts kSmokeCounts{1, 100, 10, 100, 10, 0.05, 1, 100, 100};

std::string LoadFolder(const std::string& root, const LatencyLoad& load) {
    const std::string folder = root + "/" + std::to_string(load.threads) + (load.paced ? "-paced" : "-flat") +
                               (load.burst != 0 ? "-bursts" : "");
    std::filesystem::create_directories(folder);
    return folder;
}

// What to run, from the command line.
struct Options {
    bool smoke = false;
    bool keep = false;
    std::string only;    // empty: every part
    std::string match;   // empty: every latency row
    int processor = -2;  // -2: the last processor; -1: no pinning

    bool Runs(const char* part) const { return only.empty() || only == part; }
};

void MeasureLatencies(const std::string& root, const Counts& counts, const Options& options, BenchResults& results) {
    std::vector<LatencySubject> subjects{FloorSubject(), VextrelSubject(), FloorMixSubject(), VextrelMixSubject()};
    for (LatencySubject& peer : PeerSubjects()) subjects.push_back(peer);
    // Sustained flat-out calls outrun any writer that flushes each line: the queue fills and most
    // calls are refused. Bursts that fit the queue time accepted calls only.
    const LatencyLoad loads[] = {{1, false, 0}, {1, false, kBurst}, {1, true, 0},
                                 {2, false, 0}, {2, false, kBurst}, {2, true, 0}};
    for (const LatencyLoad& load : loads) {
        std::vector<const LatencySubject*> chosen;
        for (const LatencySubject& subject : subjects) {
            if (options.match.empty() ||
                (subject.name + ", " + LoadName(load)).find(options.match) != std::string::npos) {
                chosen.push_back(&subject);
            }
        }
        if (chosen.empty()) continue;
        std::fprintf(stderr, "  %s\n", LoadName(load).c_str());
        const std::string folder = LoadFolder(root, load);
        for (const LatencySubject* subject : chosen) {
            if (subject->begin != nullptr) subject->begin(folder);
        }
        // The subjects take turns, a slice of the calls each, so that a change in the machine's
        // load during the run falls on all of them alike. After its slice each subject's output
        // catches up, so no writer works in the background of the next subject's slice.
        const uint32_t timed = (load.paced ? counts.pacedCalls : counts.flatCalls) / counts.rounds;
        const uint32_t flatWarmup = load.burst != 0 ? std::min(load.burst, counts.flatWarmup) : counts.flatWarmup;
        const uint32_t warmup = (load.paced ? counts.pacedWarmup : flatWarmup) / counts.rounds;
        std::vector<LatencySamples> samples(chosen.size());
        for (uint32_t round = 0; round < counts.rounds; ++round) {
            for (size_t s = 0; s < chosen.size(); ++s) {
                if (chosen[s]->activate != nullptr) chosen[s]->activate();
                MeasureLatency(chosen[s]->call, load, timed, warmup, chosen[s]->settle, samples[s]);
                if (chosen[s]->settle != nullptr) chosen[s]->settle();
            }
        }
        const uint64_t calls = static_cast<uint64_t>(timed + warmup) * load.threads * counts.rounds;
        for (size_t s = 0; s < chosen.size(); ++s) {
            LatencyRow row;
            row.subject = chosen[s]->name;
            row.load = load;
            row.distribution = Summarize(samples[s]);
            row.calls = calls;
            if (chosen[s]->end != nullptr) row.lost = chosen[s]->end(calls);
            results.latency.push_back(row);
        }
    }
}

// The accepted call through new rings' first pass and the pass after it, as two rows of the latency
// table (1 thread, paced).
void MeasureNewRings(const std::string& root, uint32_t rings, BenchResults& results) {
    const std::string folder = root + "/ring-passes";
    std::filesystem::create_directories(folder);
    LatencySamples passes[2];
    MeasureRingPasses(folder, rings, passes[0], passes[1]);
    for (int pass = 0; pass < 2; ++pass) {
        LatencyRow row;
        row.subject = pass == 0 ? kFirstPassSubject : kSecondPassSubject;
        row.load = LatencyLoad{1, true, 0};
        row.calls = passes[pass].ticks.size();
        row.distribution = Summarize(passes[pass]);
        results.latency.push_back(row);
    }
}

int Run(const Options& options) {
    const Counts& counts = options.smoke ? kSmokeCounts : kFullCounts;
    const std::string root = (std::filesystem::temp_directory_path() / "vextrel-bench").string();
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    EnsureCounterFrequency();
    const int lastProcessor = static_cast<int>(std::max(1u, std::thread::hardware_concurrency())) - 1;
    const int processor = options.processor == -2 ? lastProcessor : options.processor;
    if (processor >= 0) PinCallingThreads(static_cast<uint32_t>(processor));

    BenchResults results;
    results.processor = processor;
    results.missingPeers = MissingPeers();
    std::fprintf(stderr, "counter: %.4f ticks/ns; files in %s\n", TicksPerNanosecond(), root.c_str());

    if (options.Runs("idle")) {
        std::fprintf(stderr, "idle writer (%.1f s)\n", counts.idleSeconds);
        results.idleSeconds = counts.idleSeconds;
        results.idleBaselineCpuMilliseconds = MeasureIdleBaselineCpuMilliseconds(counts.idleSeconds);
        results.idleCpuMilliseconds = MeasureIdleWriterCpuMilliseconds(root, counts.idleSeconds);
    }
    if (options.Runs("latency")) {
        std::fprintf(stderr, "stopwatch overhead\n");
        results.timerOverhead = MeasureTimerOverhead(counts.timerCalls);
    }
    if (options.Runs("means")) {
        std::fprintf(stderr, "mean costs (Google Benchmark)\n");
        results.means = RunMeanCases(root, options.smoke);
    }
    if (options.Runs("writer")) {
        std::fprintf(stderr, "writer throughput\n");
        const WriterComparison writer =
            MeasureWriterThroughput(root, counts.writerRounds, counts.writerLines, processor);
        results.writer = writer.writer;
        results.writeFloor = writer.floor;
        std::fprintf(stderr, "writer burst\n");
        results.burst = MeasureWriterBurst(root, kBurstThreads, options.smoke ? 100 : kBurstCallsPerThread,
                                           options.smoke ? 1 : kBurstRounds);
    }
    if (options.Runs("latency")) {
        std::fprintf(stderr, "per-call latency\n");
        MeasureLatencies(root, counts, options, results);
        if (options.match.empty()) {
            std::fprintf(stderr, "new rings, first and second pass\n");
            MeasureNewRings(root, options.smoke ? 1 : kNewRings, results);
        }
    }

    PrintResults(results, stdout);
    if (!options.keep) std::filesystem::remove_all(root);
    return 0;
}

}  // namespace
}  // namespace vextrel::bench

int main(int argc, char** argv) {
    vextrel::bench::Options options;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--smoke") == 0 || std::strcmp(argv[i], "--benchmark_min_time=0") == 0) {
            options.smoke = true;
        } else if (std::strncmp(argv[i], "--benchmark_", 12) == 0) {
            continue;
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            options.keep = true;
        } else if (std::strcmp(argv[i], "--only") == 0 && hasValue) {
            options.only = argv[++i];
        } else if (std::strcmp(argv[i], "--match") == 0 && hasValue) {
            options.match = argv[++i];
        } else if (std::strcmp(argv[i], "--cpu") == 0 && hasValue) {
            options.processor = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr,
                         "usage: %s [--smoke] [--keep] [--only idle|means|latency|writer] [--match TEXT] [--cpu N]\n",
                         argv[0]);
            return 2;
        }
    }
    return vextrel::bench::Run(options);
}
