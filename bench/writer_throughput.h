// Lines per second that reach a trace file: Vextrel's writer thread against one thread that formats
// the same lines and does fwrite + fflush per line; and how much of a burst that overruns the
// default ring the writer still gets into the file.
#pragma once

#include <cstdint>
#include <string>

namespace vextrel::bench {

struct Throughput {
    double linesPerSecond = 0;
    uint64_t lines = 0;
};

struct WriterComparison {
    Throughput writer;  // Vextrel's writer thread
    Throughput floor;   // one thread: line formatting, fwrite and fflush
};

// Takes turns, `rounds` times: the writer drains a batch of `linesPerRound` records from a default
// queue into a trace file in `folder` (the batch is queued behind a held-back first record, so the
// timing starts when that record is committed), then the floor writes as many lines into its own
// file there. With a `processor` (-1: none), the writer and the floor both run on it, and the
// thread that waits for the writer waits on another one. Runs on a thread of its own.
WriterComparison MeasureWriterThroughput(const std::string& folder, uint32_t rounds, uint32_t linesPerRound,
                                         int processor);

// Records that reached the trace file when `threads` threads each make `callsPerThread` accepted
// calls flat out into a default ring with a running writer (the rest were refused and reported).
struct BurstOutcome {
    uint32_t threads = 0;
    uint32_t callsPerThread = 0;
    uint64_t written = 0;
};

// Runs the burst `rounds` times, each into a fresh session in `folder`; the median outcome.
BurstOutcome MeasureWriterBurst(const std::string& folder, uint32_t threads, uint32_t callsPerThread, uint32_t rounds);

}  // namespace vextrel::bench
