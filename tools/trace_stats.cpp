#include "tools/trace_stats.h"

#include <algorithm>

namespace vextrel::tool {
namespace {

// The longer gap goes first, of equal ones the earlier. As the heap's order it puts the gap that
// goes last on top, the one to drop.
bool GoesFirst(const Gap& a, const Gap& b) {
    if (a.length != b.length) return a.length > b.length;
    return a.file != b.file ? a.file < b.file : a.line < b.line;
}

}  // namespace

TraceStats::TraceStats(uint64_t stepMicroseconds, size_t gapsKept, size_t lossesKept)
    : step_(std::max<uint64_t>(stepMicroseconds, 1)), gapsKept_(gapsKept), lossLimit_(lossesKept) {}

void TraceStats::AddRecord(const TraceEntry& record, size_t file) {
    const uint64_t time = record.microseconds;
    if (records_ == 0) first_ = time;
    last_ = time;
    ++records_;
    perFacility_.Add(record.facilityId);
    perThread_.Add(record.threadId);
    perStep_.Add((time - std::min(first_, time)) / step_);
    if (record.elapsedMicroseconds) {
        if (lastSpans_ == nullptr || lastSpanFacility_ != record.facilityId) {
            lastSpans_ = &spans_[record.facilityId];
            lastSpanFacility_ = record.facilityId;
        }
        lastSpans_->Add(*record.elapsedMicroseconds);
    }
    if (records_ > 1 && time > previousTime_ && gapsKept_ > 0) {
        const Gap gap{time - previousTime_, previousTime_, previousLine_, previousFile_};
        if (gaps_.size() < gapsKept_) {
            gaps_.push_back(gap);
            std::push_heap(gaps_.begin(), gaps_.end(), GoesFirst);
        } else if (gap.length > gaps_.front().length) {
            std::pop_heap(gaps_.begin(), gaps_.end(), GoesFirst);
            gaps_.back() = gap;
            std::push_heap(gaps_.begin(), gaps_.end(), GoesFirst);
        }
    }
    previousTime_ = time;
    previousLine_ = record.line;
    previousFile_ = file;
}

void TraceStats::AddOther(const TraceEntry& entry, size_t file) {
    if (entry.kind == EntryKind::kOther) ++other_;
    if (entry.kind != EntryKind::kLostOutput) return;
    ++losses_;
    if (lossesKept_.size() < lossLimit_) lossesKept_.push_back({0, entry.microseconds, entry.line, file});
}

std::vector<Gap> TraceStats::LongestGaps() const {
    std::vector<Gap> gaps = gaps_;
    std::sort(gaps.begin(), gaps.end(), GoesFirst);
    return gaps;
}

}  // namespace vextrel::tool
