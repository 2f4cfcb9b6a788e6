#include "tools/time_bins.h"

#include <algorithm>

namespace vextrel::tool {

void TimeBins::Add(uint64_t time, uint64_t key) {
    if (!started_) {
        started_ = true;
        origin_ = time;
    }
    const uint64_t offset = time > origin_ ? time - origin_ : 0;
    while (offset / width_ >= bins_) Widen();
    const size_t bin = static_cast<size_t>(offset / width_);
    if (lastRow_ == nullptr || key != lastKey_) {
        std::vector<uint32_t>& row = rows_[key];
        if (row.empty()) row.assign(bins_, 0);
        lastRow_ = &row;
        lastKey_ = key;
    }
    ++(*lastRow_)[bin];
    used_ = std::max(used_, bin + 1);
}

void TimeBins::Widen() {
    for (auto& [key, row] : rows_) {
        for (size_t bin = 0; bin < bins_; ++bin) row[bin] = bin * 2 < bins_ ? row[bin * 2] + (bin * 2 + 1 < bins_ ? row[bin * 2 + 1] : 0) : 0;
    }
    width_ *= 2;
    used_ = (used_ + 1) / 2;
}

}  // namespace vextrel::tool
