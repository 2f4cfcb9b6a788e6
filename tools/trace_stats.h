// Running figures over the records of a trace, in memory that does not grow with its length:
// counts per facility and thread, records per time step, the longest gaps, lost-output reports
// and span durations (records with an elapsed time) per facility.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "tools/flat_index.h"
#include "tools/span_histogram.h"
#include "tools/trace_file_reader.h"

namespace vextrel::tool {

// One pause between two records that follow each other.
struct Gap {
    uint64_t length = 0;  // microseconds
    uint64_t after = 0;   // the time of the record before it
    size_t line = 0;      // the line of that record
    size_t file = 0;      // the index of its file
};

// Counts by key, fast for the few keys a trace has (facilities, threads, steps), most often the
// same key as the time before.
class KeyCounts {
public:
    void Add(uint64_t key) {
        if (last_ == FlatIndex::kNone || key != lastKey_) {
            last_ = indexOf_.Find(key);
            if (last_ == FlatIndex::kNone) {
                last_ = static_cast<uint32_t>(keys_.size());
                indexOf_.Insert(key, last_);
                keys_.push_back(key);
                counts_.push_back(0);
            }
            lastKey_ = key;
        }
        ++counts_[last_];
    }
    size_t Size() const { return keys_.size(); }
    // The counts ordered by key.
    template <typename Key>
    std::map<Key, uint64_t> Ordered() const {
        std::map<Key, uint64_t> ordered;
        for (size_t i = 0; i < keys_.size(); ++i) ordered.emplace(static_cast<Key>(keys_[i]), counts_[i]);
        return ordered;
    }

private:
    FlatIndex indexOf_;  // into keys_ and counts_
    std::vector<uint64_t> keys_;
    std::vector<uint64_t> counts_;
    uint64_t lastKey_ = 0;
    uint32_t last_ = FlatIndex::kNone;
};

class TraceStats {
public:
    // `stepMicroseconds`: the width of a step of the record rate; `gapsKept`: how many of the
    // longest gaps to keep; `lossesKept`: how many lost-output reports to keep by line.
    TraceStats(uint64_t stepMicroseconds, size_t gapsKept, size_t lossesKept = 100);

    // Counts an accepted record.
    void AddRecord(const TraceEntry& record, size_t file = 0);
    // Counts an entry that is not a record (lost-output reports, lines of no known form).
    void AddOther(const TraceEntry& entry, size_t file = 0);

    uint64_t Records() const { return records_; }
    uint64_t First() const { return first_; }  // the time of the first record
    uint64_t Last() const { return last_; }    // the time of the last record
    std::map<uint32_t, uint64_t> PerFacility() const { return perFacility_.Ordered<uint32_t>(); }
    std::map<uint32_t, uint64_t> PerThread() const { return perThread_.Ordered<uint32_t>(); }
    // Records per step, by step index from the first record (a record a little before it counts in step 0).
    std::map<uint64_t, uint64_t> PerStep() const { return perStep_.Ordered<uint64_t>(); }
    uint64_t Step() const { return step_; }
    // The longest gaps, longest first (the earlier one on a tie).
    std::vector<Gap> LongestGaps() const;
    const std::map<uint32_t, SpanHistogram>& Spans() const { return spans_; }
    uint64_t Losses() const { return losses_; }
    // The first lost-output reports: their line and the time of the record before them.
    const std::vector<Gap>& LossesKept() const { return lossesKept_; }
    uint64_t OtherLines() const { return other_; }

private:
    uint64_t step_;
    size_t gapsKept_;
    size_t lossLimit_;
    uint64_t records_ = 0, first_ = 0, last_ = 0, losses_ = 0, other_ = 0;
    uint64_t previousTime_ = 0;
    size_t previousLine_ = 0, previousFile_ = 0;
    KeyCounts perFacility_, perThread_, perStep_;
    uint32_t lastSpanFacility_ = 0;
    SpanHistogram* lastSpans_ = nullptr;
    std::vector<Gap> gaps_;  // a heap with the kept gap that goes last on top
    std::map<uint32_t, SpanHistogram> spans_;
    std::vector<Gap> lossesKept_;
};

}  // namespace vextrel::tool
