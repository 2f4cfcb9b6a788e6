// PriorityTable: the lowest priority that passes, per facility id.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/facility.h"

namespace vextrel {

// 20481 unsigned 32-bit entries indexed by facility id; entry n is the lowest priority that passes
// for facility n. Entries are whole, aligned 32-bit values read by trace calls on any thread while
// configuration code may write them: each reader sees either the old or the new entry.
//
// The entries lie in pages of 256. A page whose entries are all "off" is shared by every table until
// one of its entries is set: a configuration costs about 1 KB per page it configures, not 80 KB per
// table. A page once made stays until the table is destroyed, so a reader never meets a freed page.
class PriorityTable {
public:
    static constexpr uint32_t kPageSize = 256;
    static constexpr uint32_t kPageCount = (kPriorityTableSize + kPageSize - 1) / kPageSize;

    // Every entry starts at 17 (off), except entry 0, which starts at `firstEntry`.
    explicit PriorityTable(uint32_t firstEntry = kPriorityOff);
    ~PriorityTable();
    PriorityTable(const PriorityTable&) = delete;
    PriorityTable& operator=(const PriorityTable&) = delete;

    uint32_t Get(uint32_t id) const {
        return pages_[id / kPageSize].load(std::memory_order_acquire)[id % kPageSize].load(std::memory_order_relaxed);
    }
    // Makes the entry's page the table's own first; throws std::bad_alloc when memory runs out.
    void Set(uint32_t id, uint32_t priority);

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

    // How many pages the table holds of its own (the others are shared).
    uint32_t OwnPages() const;

private:
    using Page = std::atomic<uint32_t>;
    static bool IsShared(const Page* page);
    // The page of `index`, made the table's own when it is shared.
    Page* OwnPage(uint32_t index);

    std::atomic<Page*> pages_[kPageCount];
};

}  // namespace vextrel
