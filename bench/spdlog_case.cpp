#include <chrono>
#include <memory>
#include <thread>

#include <spdlog/async.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include "bench/bench_message.h"
#include "bench/peer_cases.h"

namespace vextrel::bench {
namespace {

constexpr size_t kQueueSize = 8192;

std::shared_ptr<spdlog::logger> g_logger;

void BeginSpdlog(const std::string& folder) {
    spdlog::init_thread_pool(kQueueSize, 1);
    g_logger =
        spdlog::create_async_nb<spdlog::sinks::basic_file_sink_mt>("bench", folder + "/spdlog_latency.txt", true);
}

void SpdlogCall(uint32_t sequence) {
    g_logger->info("value={} name={} elapsed={:.3f}", MessageValue(sequence), kMessageName, MessageElapsed(sequence));
}

void SettleSpdlog() {
    while (spdlog::thread_pool()->queue_size() != 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
}

// Counts the messages the full queue overwrote (overrun-oldest drops the oldest waiting one).
int64_t EndSpdlog(uint64_t) {
    SettleSpdlog();
    const std::shared_ptr<spdlog::details::thread_pool> pool = spdlog::thread_pool();
    g_logger->flush();
    const int64_t lost = static_cast<int64_t>(pool->overrun_counter());
    g_logger.reset();
    spdlog::shutdown();
    return lost;
}

}  // namespace

LatencySubject SpdlogSubject() { return {"spdlog async", SpdlogCall, BeginSpdlog, SettleSpdlog, EndSpdlog}; }

namespace {
const bool kRegistered = RegisterPeer("spdlog", &SpdlogSubject);
}  // namespace

}  // namespace vextrel::bench
