// PriorityTable: the lowest priority that passes, per facility id.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/facility.h"

namespace vextrel {

// 20481 unsigned 32-bit entries indexed by facility id; entry n is the lowest priority that passes
// for facility n. Entries are whole, aligned 32-bit values read by trace calls on any thread while
// configuration code may write them: each reader sees either the old or the new entry.
class PriorityTable {
public:
    // Every entry starts at 17 (off), except entry 0, which starts at `firstEntry`.
    explicit PriorityTable(uint32_t firstEntry = kPriorityOff);
    PriorityTable(const PriorityTable&) = delete;
    PriorityTable& operator=(const PriorityTable&) = delete;

    uint32_t Get(uint32_t id) const { return entries_[id].load(std::memory_order_relaxed); }
    void Set(uint32_t id, uint32_t priority) { entries_[id].store(priority, std::memory_order_relaxed); }

    // Whether `priority` passes the entry of `id` (id must be below kFacilityIdLimit).
    bool Passes(uint32_t id, uint32_t priority) const { return priority >= Get(id); }

    // Sets every entry to `priority`.
    void Fill(uint32_t priority);

    // Lowers each entry to the other table's entry where that is smaller (unsigned).
    void LowerTo(const PriorityTable& other);

    // Copies every entry of the other table.
    void CopyFrom(const PriorityTable& other);

    // Whether all entries are equal.
    bool SameAs(const PriorityTable& other) const;

private:
    std::atomic<uint32_t> entries_[kPriorityTableSize];
};

}  // namespace vextrel
