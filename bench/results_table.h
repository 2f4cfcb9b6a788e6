// Everything one run of the benchmark program measured, and the report it prints: the figures, the
// ratios against the floor and the peers, and each target with whether it is met.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/latency_harness.h"
#include "bench/mean_cases.h"
#include "bench/writer_throughput.h"

namespace vextrel::bench {

// The per-call latency of one subject under one load, with its lost messages.
struct LatencyRow {
    std::string subject;
    LatencyLoad load;
    Distribution distribution;
    uint64_t calls = 0;
    int64_t lost = -1;  // -1: not counted
};

struct BenchResults {
    std::vector<LatencyRow> latency;
    Distribution timerOverhead;
    std::vector<MeanResult> means;
    Throughput writer;
    Throughput writeFloor;
    BurstOutcome burst;
    double idleCpuMilliseconds = 0;
    double idleBaselineCpuMilliseconds = 0;  // the same without any configuration
    double idleSeconds = 0;
    std::vector<std::string> missingPeers;
    int processor = -1;  // first processor of the calling threads, -1 when not pinned
};

// The subjects of the two latency rows of new rings (MeasureRingPasses).
constexpr const char* kFirstPassSubject = "Vextrel VextrelFormat, a new ring's first pass";
constexpr const char* kSecondPassSubject = "Vextrel VextrelFormat, the same ring's second pass";

// "2 threads, flat out, bursts of 2000" and the like.
std::string LoadName(const LatencyLoad& load);

// Prints the report as Markdown tables.
void PrintResults(const BenchResults& results, std::FILE* out);

}  // namespace vextrel::bench
