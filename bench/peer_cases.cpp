#include "bench/peer_cases.h"

namespace vextrel::bench {

std::vector<LatencySubject> PeerSubjects() {
    std::vector<LatencySubject> peers;
#ifdef VEXTREL_BENCH_SPDLOG
    peers.push_back(SpdlogSubject());
#endif
#ifdef VEXTREL_BENCH_GLOG
    peers.push_back(GlogSubject());
#endif
    return peers;
}

std::vector<std::string> MissingPeers() {
    std::vector<std::string> missing;
#ifndef VEXTREL_BENCH_SPDLOG
    missing.push_back("spdlog (libspdlog-dev)");
#endif
#ifndef VEXTREL_BENCH_GLOG
    missing.push_back("glog (libgoogle-glog-dev)");
#endif
    return missing;
}

}  // namespace vextrel::bench
