// Durations counted in a fixed-size histogram with logarithmic buckets: 64 buckets per power of
// two, so a percentile read from it is within 1.6% of the true value (exact below 128), in
// 30 KB whatever the number of values.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vextrel::tool {

class SpanHistogram {
public:
    void Add(uint64_t value);

    uint64_t Count() const { return count_; }
    uint64_t Min() const { return min_; }
    uint64_t Max() const { return max_; }
    // The value at quantile q (0..1) by the nearest-rank rule, within its bucket's precision and
    // never outside the smallest and largest value seen; 0 when empty.
    uint64_t Quantile(double q) const;

    // Buckets for drawing: calls `each(low, high, count)` for every bucket that holds values.
    template <typename Each>
    void ForEachBucket(Each&& each) const {
        for (size_t index = 0; index < kBuckets; ++index)
            if (counts_[index] != 0) each(LowOf(index), HighOf(index), counts_[index]);
    }

private:
    static constexpr int kSubBits = 6;
    static constexpr size_t kSub = size_t{1} << kSubBits;
    static constexpr size_t kBuckets = kSub + (64 - kSubBits) * kSub;

    static size_t IndexOf(uint64_t value);
    static uint64_t LowOf(size_t index);
    static uint64_t HighOf(size_t index);

    std::array<uint64_t, kBuckets> counts_{};
    uint64_t count_ = 0;
    uint64_t min_ = UINT64_MAX;
    uint64_t max_ = 0;
};

}  // namespace vextrel::tool
