#include "bench/peer_cases.h"

#include <cstring>

namespace vextrel::bench {
namespace {

struct KnownPeer {
    const char* name;
    const char* package;
};

// Every peer the benchmark knows, in the order its results are shown.
constexpr KnownPeer kKnownPeers[] = {{"spdlog", "libspdlog-dev"}, {"glog", "libgoogle-glog-dev"}};

struct RegisteredPeer {
    const char* name;
    LatencySubject (*make)();
};

std::vector<RegisteredPeer>& Registered() {
    static std::vector<RegisteredPeer> peers;
    return peers;
}

const RegisteredPeer* Find(const char* name) {
    for (const RegisteredPeer& peer : Registered()) {
        if (std::strcmp(peer.name, name) == 0) return &peer;
    }
    return nullptr;
}

}  // namespace

bool RegisterPeer(const char* name, LatencySubject (*make)()) {
    Registered().push_back({name, make});
    return true;
}

std::vector<LatencySubject> PeerSubjects() {
    std::vector<LatencySubject> peers;
    for (const KnownPeer& known : kKnownPeers) {
        if (const RegisteredPeer* peer = Find(known.name)) peers.push_back(peer->make());
    }
    return peers;
}

std::vector<std::string> MissingPeers() {
    std::vector<std::string> missing;
    for (const KnownPeer& known : kKnownPeers) {
        if (Find(known.name) == nullptr) missing.push_back(std::string(known.name) + " (" + known.package + ")");
    }
    return missing;
}

}  // namespace vextrel::bench
