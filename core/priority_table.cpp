#include "core/priority_table.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace vextrel {

using Page = std::atomic<uint32_t>;

// A page of LevelPages, its entries first so that a table reads it like any other page.
struct LevelPage {
    Page entries[PriorityTable::kPageSize];
    // One for the LevelPages that made it, one for each table that holds it.
    std::atomic<uint32_t> references{1};
    // The serial number of the set that made it, and the level its ids are at.
    uint64_t set = 0;
    uint32_t level = 0;
    // The indices of the entries below "off", ascending: the only entries that can lower an entry
    // that is at most "off".
    uint32_t litCount = 0;
    uint16_t lit[PriorityTable::kPageSize] = {};
};

namespace {

// The shared pages: all entries off, and the same with entry 0 at 1 (a tracer's first page). Never
// written: a table makes a page its own before it sets an entry. Constant-initialised and never
// destroyed, so tables that outlive the library's other globals at process exit still read them.
struct SharedPages {
    template <size_t... Index>
    constexpr explicit SharedPages(std::index_sequence<Index...>)
        : off{((void)Index, kPriorityOff)...}, firstOne{(Index == 0 ? 1u : kPriorityOff)...} {}
    Page off[PriorityTable::kPageSize];
    Page firstOne[PriorityTable::kPageSize];
};
constinit SharedPages g_shared{std::make_index_sequence<PriorityTable::kPageSize>{}};

SharedPages& Shared() { return g_shared; }

// The LevelPage whose entries a table's page pointer points at.
LevelPage* LevelPageOf(Page* entries) { return reinterpret_cast<LevelPage*>(entries); }
const LevelPage* LevelPageOf(const Page* entries) { return reinterpret_cast<const LevelPage*>(entries); }

void Release(LevelPage* page) {
    if (page->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete page;
}

// The index in LevelPages of a named level (1, 2, 4, 8, 16), or -1.
int LevelIndexOf(uint32_t priority) {
    for (int index = 0; index < 5; ++index) {
        if (priority == 1u << index) return index;
    }
    return -1;
}

}  // namespace

namespace {
std::atomic<uint64_t> g_levelPagesMade{0};
}  // namespace

LevelPages::LevelPages(std::vector<uint32_t> ids)
    : ids_(std::move(ids)), serial_(g_levelPagesMade.fetch_add(1, std::memory_order_relaxed) + 1) {
    static_assert(kPageCount == PriorityTable::kPageCount);
    pageStart_.reserve(kPageCount + 1);
    for (uint32_t index = 0; index <= kPageCount; ++index) {
        pageStart_.push_back(static_cast<uint32_t>(
            std::lower_bound(ids_.begin(), ids_.end(), index * PriorityTable::kPageSize) - ids_.begin()));
    }
}

LevelPages::~LevelPages() {
    for (auto& level : pages_) {
        for (auto& bases : level) {
            for (LevelPage* page : bases) {
                if (page != nullptr) Release(page);
            }
        }
    }
}

LevelPage* LevelPages::Acquire(uint32_t index, uint32_t levelIndex, bool firstOne) const {
    std::lock_guard<std::mutex> guard(lock_);
    LevelPage*& slot = pages_[levelIndex][index][firstOne ? 1 : 0];
    if (slot == nullptr) {
        auto* page = new LevelPage;
        page->set = serial_;
        page->level = 1u << levelIndex;
        const Page* base = firstOne ? Shared().firstOne : Shared().off;
        for (uint32_t i = 0; i < PriorityTable::kPageSize; ++i)
            page->entries[i].store(base[i].load(std::memory_order_relaxed), std::memory_order_relaxed);
        for (uint32_t k = pageStart_[index]; k < pageStart_[index + 1]; ++k)
            page->entries[ids_[k] % PriorityTable::kPageSize].store(1u << levelIndex, std::memory_order_relaxed);
        for (uint32_t i = 0; i < PriorityTable::kPageSize; ++i) {
            if (page->entries[i].load(std::memory_order_relaxed) < kPriorityOff)
                page->lit[page->litCount++] = static_cast<uint16_t>(i);
        }
        slot = page;
    }
    slot->references.fetch_add(1, std::memory_order_relaxed);
    return slot;
}

bool PriorityTable::IsUntouched(const Page* page) { return page == Shared().off || page == Shared().firstOne; }

bool PriorityTable::IsOwn(uint32_t index) const {
    return !HoldsLevelPage(index) && !IsUntouched(pages_[index].load(std::memory_order_relaxed));
}

PriorityTable::PriorityTable(uint32_t firstEntry) {
    for (auto& page : pages_) page.store(Shared().off, std::memory_order_relaxed);
    if (firstEntry == 1) {
        pages_[0].store(Shared().firstOne, std::memory_order_relaxed);
    } else if (firstEntry != kPriorityOff) {
        Set(0, firstEntry);
    }
}

PriorityTable::~PriorityTable() {
    for (uint32_t index = 0; index < kPageCount; ++index) {
        Page* entries = pages_[index].load(std::memory_order_relaxed);
        if (HoldsLevelPage(index)) {
            Release(LevelPageOf(entries));
        } else if (!IsUntouched(entries)) {
            delete[] entries;
        }
    }
    for (LevelPage* page : replaced_) Release(page);
}

PriorityTable::Page* PriorityTable::OwnPage(uint32_t index) {
    Page* current = pages_[index].load(std::memory_order_relaxed);
    const bool level = HoldsLevelPage(index);
    if (!level && !IsUntouched(current)) return current;
    // Room first: nothing may throw once the page is swapped.
    if (level) replaced_.reserve(replaced_.size() + 1);
    Page* own = new Page[kPageSize];
    for (uint32_t i = 0; i < kPageSize; ++i)
        own[i].store(current[i].load(std::memory_order_relaxed), std::memory_order_relaxed);
    // Published filled: a reader that takes the new page finds the same entries as in the shared one.
    pages_[index].store(own, std::memory_order_release);
    if (level) {
        replaced_.push_back(LevelPageOf(current));
        levelPages_[index / 64] &= ~(uint64_t{1} << (index % 64));
    }
    return own;
}

void PriorityTable::Set(uint32_t id, uint32_t priority) {
    if (priority > kPriorityOff) aboveOff_ = true;
    const uint32_t index = id / kPageSize;
    Page* page = pages_[index].load(std::memory_order_relaxed);
    if (!IsOwn(index)) {
        if (page[id % kPageSize].load(std::memory_order_relaxed) == priority) return;
        page = OwnPage(index);
    }
    page[id % kPageSize].store(priority, std::memory_order_relaxed);
}

void PriorityTable::Fill(uint32_t priority) {
    for (uint32_t id = 0; id < kPriorityTableSize; ++id) Set(id, priority);
}

void PriorityTable::HoldSharedLevelPage(uint32_t index, const LevelPages& ids, uint32_t level, const Page* untouched) {
    LevelPage* shared = ids.Acquire(index, level, untouched == Shared().firstOne);
    pages_[index].store(shared->entries, std::memory_order_release);
    levelPages_[index / 64] |= uint64_t{1} << (index % 64);
}

void PriorityTable::SetEach(const LevelPages& ids, uint32_t priority) {
    const int level = LevelIndexOf(priority);
    for (uint32_t index = 0; index < kPageCount; ++index) {
        const uint32_t first = ids.pageStart_[index], last = ids.pageStart_[index + 1];
        if (first == last) continue;
        Page* page = pages_[index].load(std::memory_order_relaxed);
        if (level >= 0 && IsUntouched(page)) {
            HoldSharedLevelPage(index, ids, static_cast<uint32_t>(level), page);
            continue;
        }
        for (uint32_t k = first; k < last; ++k) Set(ids.ids_[k], priority);
    }
}

void PriorityTable::LowerTo(const PriorityTable& other) {
    for (uint32_t index = 0; index < kPageCount; ++index) {
        const Page* theirs = other.pages_[index].load(std::memory_order_acquire);
        Page* ours = pages_[index].load(std::memory_order_relaxed);
        bool own = IsOwn(index);
        // An "off" page lowers nothing in a page whose entries are at most "off".
        if (theirs == ours || (theirs == Shared().off && (!own || !aboveOff_))) continue;
        const auto lower = [&](uint32_t i) {
            const uint32_t entry = theirs[i].load(std::memory_order_relaxed);
            if (entry >= ours[i].load(std::memory_order_relaxed)) return;
            if (!own) {
                ours = OwnPage(index);
                own = true;
            }
            ours[i].store(entry, std::memory_order_relaxed);
        };
        if (theirs == Shared().firstOne && !aboveOff_) {
            lower(0);  // its other entries are "off"
        } else if (other.HoldsLevelPage(index) && !aboveOff_) {
            // Its other entries are "off", which lowers none of ours.
            const LevelPage& level = *LevelPageOf(theirs);
            for (uint32_t k = 0; k < level.litCount; ++k) lower(level.lit[k]);
        } else {
            for (uint32_t i = 0; i < kPageSize; ++i) lower(i);
        }
    }
}

void PriorityTable::CopyFrom(const PriorityTable& other) {
    if (&other == this) return;
    if (other.aboveOff_) aboveOff_ = true;
    for (uint32_t index = 0; index < kPageCount; ++index) {
        const Page* theirs = other.pages_[index].load(std::memory_order_acquire);
        Page* ours = pages_[index].load(std::memory_order_relaxed);
        if (theirs == ours) continue;
        bool own = IsOwn(index);
        for (uint32_t i = 0; i < kPageSize; ++i) {
            const uint32_t entry = theirs[i].load(std::memory_order_relaxed);
            if (entry == ours[i].load(std::memory_order_relaxed)) continue;
            if (!own) {
                ours = OwnPage(index);
                own = true;
            }
            ours[i].store(entry, std::memory_order_relaxed);
        }
    }
}

bool PriorityTable::SameAs(const PriorityTable& other) const {
    for (uint32_t index = 0; index < kPageCount; ++index) {
        const Page* ours = pages_[index].load(std::memory_order_acquire);
        const Page* theirs = other.pages_[index].load(std::memory_order_acquire);
        if (ours == theirs) continue;
        for (uint32_t i = 0; i < kPageSize; ++i) {
            if (ours[i].load(std::memory_order_relaxed) != theirs[i].load(std::memory_order_relaxed)) return false;
        }
    }
    return true;
}

uint32_t PriorityTable::OwnPages() const {
    uint32_t count = 0;
    for (uint32_t index = 0; index < kPageCount; ++index) count += IsOwn(index) ? 1 : 0;
    return count;
}

void PriorityTable::LowerEach(const LevelPages& ids, uint32_t priority) {
    const int level = LevelIndexOf(priority);
    for (uint32_t index = 0; index < kPageCount; ++index) {
        const uint32_t first = ids.pageStart_[index], last = ids.pageStart_[index + 1];
        if (first == last) continue;
        Page* page = pages_[index].load(std::memory_order_relaxed);
        if (HoldsLevelPage(index)) {
            const LevelPage& held = *LevelPageOf(page);
            if (held.set == ids.serial_ && held.level <= priority) continue;
        }
        // On an untouched page, lowering the ids is setting them, unless the set holds id 0 and would
        // raise entry 0 of the first page.
        const bool raisesFirst = page == Shared().firstOne && ids.ids_[first] == 0;
        if (level >= 0 && IsUntouched(page) && !raisesFirst) {
            HoldSharedLevelPage(index, ids, static_cast<uint32_t>(level), page);
            continue;
        }
        for (uint32_t k = first; k < last; ++k) {
            const uint32_t id = ids.ids_[k];
            if (priority < page[id % kPageSize].load(std::memory_order_relaxed)) {
                Set(id, priority);
                page = pages_[index].load(std::memory_order_relaxed);
            }
        }
    }
}

}  // namespace vextrel
