#include "tools/span_histogram.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace vextrel::tool {

size_t SpanHistogram::IndexOf(uint64_t value) {
    if (value < kSub) return static_cast<size_t>(value);
    // Above kSub: the power of two picks a row of kSub buckets, the next kSubBits bits the bucket.
    const int shift = std::bit_width(value) - 1 - kSubBits;
    return kSub + static_cast<size_t>(shift) * kSub + static_cast<size_t>((value >> shift) - kSub);
}

uint64_t SpanHistogram::LowOf(size_t index) {
    if (index < kSub) return index;
    const size_t shift = (index - kSub) / kSub;
    return static_cast<uint64_t>(kSub + (index - kSub) % kSub) << shift;
}

uint64_t SpanHistogram::HighOf(size_t index) {
    if (index < kSub) return index;
    const size_t shift = (index - kSub) / kSub;
    return LowOf(index) + ((uint64_t{1} << shift) - 1);
}

void SpanHistogram::Add(uint64_t value) {
    ++counts_[IndexOf(value)];
    ++count_;
    min_ = std::min(min_, value);
    max_ = std::max(max_, value);
}

uint64_t SpanHistogram::Quantile(double q) const {
    if (count_ == 0) return 0;
    const auto rank =
        std::clamp<uint64_t>(static_cast<uint64_t>(std::ceil(q * static_cast<double>(count_))), 1, count_);
    uint64_t seen = 0;
    for (size_t index = 0; index < kBuckets; ++index) {
        seen += counts_[index];
        if (seen >= rank) return std::clamp(HighOf(index), min_, max_);
    }
    return max_;
}

}  // namespace vextrel::tool
