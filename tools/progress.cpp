#include "tools/progress.h"

#include <cstdio>

#include "tools/tool_system.h"

namespace vextrel::tool {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(250);
constexpr double kMegabyte = 1024.0 * 1024.0;

}  // namespace

// The first line is drawn at the first read, later ones at most every kRedrawInterval.
Progress::Progress(bool quiet, uint64_t thresholdBytes)
    : enabled_(!quiet && IsTerminal(stderr)),
      threshold_(thresholdBytes),
      start_(std::chrono::steady_clock::now()),
      lastDrawn_(start_ - kRedrawInterval) {}

void Progress::Advance(uint64_t bytes) {
    done_ += bytes;
    if (!enabled_ || total_ <= threshold_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDrawn_ < kRedrawInterval) return;
    lastDrawn_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = static_cast<double>(done_) / seconds;
    const double left = rate > 0 && total_ > done_ ? static_cast<double>(total_ - done_) / rate : 0;
    std::fprintf(stderr, "\rvextrel: %.0f of %.0f MB read, %.0f MB/s, %.0f s left   ",
                 static_cast<double>(done_) / kMegabyte, static_cast<double>(total_) / kMegabyte, rate / kMegabyte,
                 left);
    std::fflush(stderr);
    shown_ = true;
}

void Progress::Finish() {
    if (!shown_) return;
    shown_ = false;
    std::fprintf(stderr, "\r%70s\r", "");
    std::fflush(stderr);
}

}  // namespace vextrel::tool
