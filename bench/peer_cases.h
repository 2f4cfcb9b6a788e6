// The peer loggers, each built only when its package was found; a built peer registers itself.
#pragma once

#include "bench/latency_subject.h"

namespace vextrel::bench {

// Adds a built peer under its name ("spdlog", "glog"); called from the peer's own file at start-up.
bool RegisterPeer(const char* name, LatencySubject (*make)());

// spdlog's asynchronous logger: queue of 8192, one worker thread, a file sink, overrun-oldest.
LatencySubject SpdlogSubject();

// glog's LOG(INFO) into its log file (synchronous, with glog's default buffering).
LatencySubject GlogSubject();

}  // namespace vextrel::bench
