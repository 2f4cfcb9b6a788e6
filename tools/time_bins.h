// Counts over time in a fixed number of bins per row: when a time falls past the last bin, every
// bin doubles its width (neighbours are joined), so a run of any length fits and memory stays
// rows x bins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "tools/flat_index.h"

namespace vextrel::tool {

class TimeBins {
public:
    explicit TimeBins(size_t bins, uint64_t firstWidth = 1000) : bins_(bins), width_(firstWidth) {}

    // Counts one at `time` in the row of `key` (rows are made as keys come); the first time
    // counted is the start of bin 0, earlier times count in bin 0.
    void Add(uint64_t time, uint64_t key);

    uint64_t Origin() const { return origin_; }
    uint64_t Width() const { return width_; }
    // The bins in use: up to the last one counted in.
    size_t Used() const { return used_; }
    // The rows ordered by key.
    std::map<uint64_t, std::vector<uint32_t>> Rows() const;
    size_t RowCount() const { return rows_.size(); }

private:
    void Widen();
    size_t BinOf(uint64_t offset);

    size_t bins_;
    uint64_t width_;
    uint64_t origin_ = 0;
    bool started_ = false;
    size_t used_ = 0;
    std::vector<std::vector<uint32_t>> rows_;  // in the order their keys came
    std::vector<uint64_t> keys_;               // the key of each row
    FlatIndex rowOfKey_;                       // index into rows_
    uint64_t lastKey_ = 0;
    std::vector<uint32_t>* lastRow_ = nullptr;
    // The bin of the time before and where it starts: times mostly stay in it.
    size_t lastBin_ = 0;
    uint64_t lastBinStart_ = 0;
};

}  // namespace vextrel::tool
