// The peer loggers, each built only when its package was found.
#pragma once

#include "bench/latency_subject.h"

namespace vextrel::bench {

// spdlog's asynchronous logger: queue of 8192, one worker thread, a file sink, overrun-oldest.
LatencySubject SpdlogSubject();

// glog's LOG(INFO) into its log file (synchronous, with glog's default buffering).
LatencySubject GlogSubject();

}  // namespace vextrel::bench
