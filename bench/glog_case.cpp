#include <iomanip>

#include <glog/logging.h>

#include "bench/bench_message.h"
#include "bench/peer_cases.h"

namespace vextrel::bench {
namespace {

bool g_initialised = false;

// glog starts once per process; its files for every load go to the first load's folder.
void BeginGlog(const std::string& folder) {
    if (g_initialised) return;
    FLAGS_log_dir = folder;
    FLAGS_logtostderr = false;
    FLAGS_alsologtostderr = false;
    FLAGS_stderrthreshold = google::GLOG_FATAL;
    google::InitGoogleLogging("vextrel_bench");
    g_initialised = true;
}

void GlogCall(uint32_t sequence) {
    LOG(INFO) << "value=" << MessageValue(sequence) << " name=" << kMessageName << " elapsed=" << std::fixed
              << std::setprecision(3) << MessageElapsed(sequence);
}

// glog writes on the calling thread and never drops a message.
int64_t EndGlog(uint64_t) {
    google::FlushLogFiles(google::GLOG_INFO);
    return 0;
}

}  // namespace

LatencySubject GlogSubject() { return {"glog", GlogCall, BeginGlog, nullptr, EndGlog}; }

namespace {
const bool kRegistered = RegisterPeer("glog", &GlogSubject);
}  // namespace

}  // namespace vextrel::bench
