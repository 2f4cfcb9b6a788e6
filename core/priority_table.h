// PriorityTable: the lowest priority that passes, per facility id.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/facility.h"

namespace vextrel {

struct LevelPage;

// An ascending set of ids (each below kPriorityTableSize) and, made on first use, the pages on which
// one named level sits at exactly those ids of an untouched page: PriorityTable::SetEach with this
// set gives an untouched page of a table one of them instead of a copy of its own. Immutable apart
// from those pages, which it makes under a lock: any thread may use it.
class LevelPages {
public:
    explicit LevelPages(std::vector<uint32_t> ids);
    ~LevelPages();
    LevelPages(const LevelPages&) = delete;
    LevelPages& operator=(const LevelPages&) = delete;
    const std::vector<uint32_t>& Ids() const { return ids_; }
    // A number no other set of the process has.
    uint64_t Serial() const { return serial_; }

private:
    friend class PriorityTable;
    static constexpr uint32_t kLevels = 5;  // VXP_LOWEST ... VXP_URGENT
    static constexpr uint32_t kPageCount = (kPriorityTableSize + 255) / 256;
    // The page `index` of an untouched table (`firstOne`: the one whose entry 0 is 1) with the level
    // of `levelIndex` at the set's ids, with a reference for the caller; throws std::bad_alloc.
    LevelPage* Acquire(uint32_t index, uint32_t levelIndex, bool firstOne) const;

    std::vector<uint32_t> ids_;
    // Unique in the process, so that a page tells which set made it (an address can be reused).
    uint64_t serial_;
    // Where the ids of each page begin in ids_ (one offset more than pages).
    std::vector<uint32_t> pageStart_;
    mutable std::mutex lock_;
    mutable LevelPage* pages_[kLevels][kPageCount][2] = {};
};

// 20481 unsigned 32-bit entries indexed by facility id; entry n is the lowest priority that passes
// for facility n. Entries are whole, aligned 32-bit values read by trace calls on any thread while
// configuration code may write them: each reader sees either the old or the new entry.
//
// The entries lie in pages of 256. A page whose entries are all "off" is shared by every table until
// one of its entries is set: a configuration costs about 1 KB per page it configures, not 80 KB per
// table. Likewise a page on which a whole set of ids was set to one level (VXF_ALL) is shared by
// every table that did the same (see LevelPages). A page a table held stays until the table is
// destroyed, so a reader never meets a freed page.
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

    // Sets the entries of the set's ids to `priority`.
    void SetEach(const LevelPages& ids, uint32_t priority);

    // Lowers each entry to the other table's entry where that is smaller (unsigned).
    void LowerTo(const PriorityTable& other);

    // Lowers the entries of the set's ids to `priority` where that is smaller (unsigned): what
    // LowerTo does with a table on which SetEach(ids, priority) was the only change. A page that
    // holds the set at that level or lower already is passed over whole.
    void LowerEach(const LevelPages& ids, uint32_t priority);

    // Copies every entry of the other table.
    void CopyFrom(const PriorityTable& other);

    // Whether all entries are equal.
    bool SameAs(const PriorityTable& other) const;

    // How many pages the table holds of its own (the others are shared).
    uint32_t OwnPages() const;

private:
    using Page = std::atomic<uint32_t>;
    // Whether the page is one of the constant pages of untouched tables.
    static bool IsUntouched(const Page* page);
    // Whether the page of `index` is a LevelPages page.
    bool HoldsLevelPage(uint32_t index) const { return (levelPages_[index / 64] >> (index % 64)) & 1u; }
    // Whether the page of `index` is the table's own.
    bool IsOwn(uint32_t index) const;
    // The page of `index`, made the table's own when it is shared.
    Page* OwnPage(uint32_t index);
    // Points the untouched page of `index` at the shared page that sets the ids of `ids` on it to
    // `level`, and holds a reference to it.
    void HoldSharedLevelPage(uint32_t index, const LevelPages& ids, uint32_t level, const Page* untouched);

    std::atomic<Page*> pages_[kPageCount];
    // Bit n: page n is a LevelPages page, of which the table holds a reference. Changed only by the
    // thread that configures the table.
    uint64_t levelPages_[(kPageCount + 63) / 64] = {};
    // The LevelPages pages the table held before it made those pages its own: readers may still be
    // on them, so they are released with the table.
    std::vector<LevelPage*> replaced_;
    // Whether an entry was ever set above "off" (a trace call's priority byte can be): until then a
    // page of "off" entries lowers nothing.
    bool aboveOff_ = false;
};

}  // namespace vextrel
