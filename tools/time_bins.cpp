#include "tools/time_bins.h"

#include <algorithm>

namespace vextrel::tool {

size_t TimeBins::BinOf(uint64_t offset) {
    if (offset >= lastBinStart_ && offset - lastBinStart_ < width_) return lastBin_;
    while (offset / width_ >= bins_) Widen();
    lastBin_ = static_cast<size_t>(offset / width_);
    lastBinStart_ = lastBin_ * width_;
    return lastBin_;
}

void TimeBins::Add(uint64_t time, uint64_t key) {
    if (!started_) {
        started_ = true;
        origin_ = time;
    }
    const size_t bin = BinOf(time > origin_ ? time - origin_ : 0);
    if (lastRow_ == nullptr || key != lastKey_) {
        uint32_t row = rowOfKey_.Find(key);
        if (row == FlatIndex::kNone) {
            row = static_cast<uint32_t>(rows_.size());
            rowOfKey_.Insert(key, row);
            rows_.emplace_back(bins_, 0);
            keys_.push_back(key);
        }
        lastRow_ = &rows_[row];
        lastKey_ = key;
    }
    ++(*lastRow_)[bin];
    used_ = std::max(used_, bin + 1);
}

std::map<uint64_t, std::vector<uint32_t>> TimeBins::Rows() const {
    std::map<uint64_t, std::vector<uint32_t>> rows;
    for (size_t row = 0; row < rows_.size(); ++row) rows.emplace(keys_[row], rows_[row]);
    return rows;
}

void TimeBins::Widen() {
    for (std::vector<uint32_t>& row : rows_) {
        for (size_t bin = 0; bin < bins_; ++bin)
            row[bin] = bin * 2 < bins_ ? row[bin * 2] + (bin * 2 + 1 < bins_ ? row[bin * 2 + 1] : 0) : 0;
    }
    width_ *= 2;
    used_ = (used_ + 1) / 2;
    lastBin_ = 0;  // bin 0 still starts at the origin
    lastBinStart_ = 0;
}

}  // namespace vextrel::tool
