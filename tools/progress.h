// A progress line on standard error for long reads: bytes read, rate, time left. Shown only when
// standard error is a terminal, the input is large enough to take a while, and not asked to be quiet.
#pragma once

#include <chrono>
#include <cstdint>

namespace vextrel::tool {

class Progress {
public:
    // Inputs smaller than this finish before a line would help.
    static constexpr uint64_t kThresholdBytes = 100ull << 20;

    explicit Progress(bool quiet, uint64_t thresholdBytes = kThresholdBytes);
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    ~Progress() { Finish(); }

    void AddTotal(uint64_t bytes) { total_ += bytes; }
    // Counts bytes read; redraws the line at most a few times a second.
    void Advance(uint64_t bytes);
    // Clears the line.
    void Finish();

private:
    bool enabled_;
    uint64_t threshold_;
    bool shown_ = false;
    uint64_t total_ = 0;
    uint64_t done_ = 0;
    std::chrono::steady_clock::time_point start_, lastDrawn_;
};

}  // namespace vextrel::tool
