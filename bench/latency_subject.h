// A traced or logging subject measured by the latency harness: its call, and what it does before
// and after each load.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/latency_harness.h"

namespace vextrel::bench {

// Lost count of a subject that cannot lose messages or does not tell.
constexpr int64_t kLossNotCounted = -1;

struct LatencySubject {
    std::string name;
    CallFunction call = nullptr;
    // Prepares a fresh output (for example a new trace file in `folder`) before a load runs.
    void (*begin)(const std::string& folder) = nullptr;
    // Waits, untimed, until the output took every queued message (between bursts); null when the
    // subject queues nothing.
    SettleFunction settle = nullptr;
    // Waits until the output took everything, tears it down and returns how many of `calls` calls
    // were lost, or kLossNotCounted.
    int64_t (*end)(uint64_t calls) = nullptr;
    // Makes this subject's output the one its calls reach before each of its turns (subjects that
    // share process-wide state, such as the current manager); null when nothing is needed.
    void (*activate)() = nullptr;
};

// The floor: counter plus vsnprintf into a 512-byte buffer.
LatencySubject FloorSubject();

// VextrelFormat of the traced facility into a fresh configuration with a trace file per load.
LatencySubject VextrelSubject();

// The floor and VextrelFormat over the message mix, one message of the mix per call in turn.
LatencySubject FloorMixSubject();
LatencySubject VextrelMixSubject();

// The peers found at build time (spdlog's asynchronous logger, glog), in that order.
std::vector<LatencySubject> PeerSubjects();

// The names of peers that were not found at build time, for the report.
std::vector<std::string> MissingPeers();

}  // namespace vextrel::bench
