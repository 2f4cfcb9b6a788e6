// Lines per second that reach a trace file with a flush per line: Vextrel's writer thread against
// one thread that formats the same lines and does fwrite + fflush per line.
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

}  // namespace vextrel::bench
