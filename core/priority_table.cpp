#include "core/priority_table.h"

#include <cstddef>
#include <utility>

namespace vextrel {
namespace {

using Page = std::atomic<uint32_t>;

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

}  // namespace

bool PriorityTable::IsShared(const Page* page) { return page == Shared().off || page == Shared().firstOne; }

PriorityTable::PriorityTable(uint32_t firstEntry) {
    for (auto& page : pages_) page.store(Shared().off, std::memory_order_relaxed);
    if (firstEntry == 1) {
        pages_[0].store(Shared().firstOne, std::memory_order_relaxed);
    } else if (firstEntry != kPriorityOff) {
        Set(0, firstEntry);
    }
}

PriorityTable::~PriorityTable() {
    for (auto& page : pages_) {
        Page* entries = page.load(std::memory_order_relaxed);
        if (!IsShared(entries)) delete[] entries;
    }
}

PriorityTable::Page* PriorityTable::OwnPage(uint32_t index) {
    Page* current = pages_[index].load(std::memory_order_relaxed);
    if (!IsShared(current)) return current;
    Page* own = new Page[kPageSize];
    for (uint32_t i = 0; i < kPageSize; ++i)
        own[i].store(current[i].load(std::memory_order_relaxed), std::memory_order_relaxed);
    // Published filled: a reader that takes the new page finds the same entries as in the shared one.
    pages_[index].store(own, std::memory_order_release);
    return own;
}

void PriorityTable::Set(uint32_t id, uint32_t priority) {
    Page* page = pages_[id / kPageSize].load(std::memory_order_relaxed);
    if (IsShared(page)) {
        if (page[id % kPageSize].load(std::memory_order_relaxed) == priority) return;
        page = OwnPage(id / kPageSize);
    }
    page[id % kPageSize].store(priority, std::memory_order_relaxed);
}

void PriorityTable::Fill(uint32_t priority) {
    for (uint32_t id = 0; id < kPriorityTableSize; ++id) Set(id, priority);
}

void PriorityTable::LowerTo(const PriorityTable& other) {
    for (uint32_t index = 0; index < kPageCount; ++index) {
        const Page* theirs = other.pages_[index].load(std::memory_order_acquire);
        Page* ours = pages_[index].load(std::memory_order_relaxed);
        // An "off" page lowers nothing in another shared page.
        if (theirs == ours || (theirs == Shared().off && IsShared(ours))) continue;
        for (uint32_t i = 0; i < kPageSize; ++i) {
            const uint32_t entry = theirs[i].load(std::memory_order_relaxed);
            if (entry >= ours[i].load(std::memory_order_relaxed)) continue;
            if (IsShared(ours)) ours = OwnPage(index);
            ours[i].store(entry, std::memory_order_relaxed);
        }
    }
}

void PriorityTable::CopyFrom(const PriorityTable& other) {
    if (&other == this) return;
    for (uint32_t index = 0; index < kPageCount; ++index) {
        const Page* theirs = other.pages_[index].load(std::memory_order_acquire);
        Page* ours = pages_[index].load(std::memory_order_relaxed);
        if (theirs == ours) continue;
        for (uint32_t i = 0; i < kPageSize; ++i) {
            const uint32_t entry = theirs[i].load(std::memory_order_relaxed);
            if (entry == ours[i].load(std::memory_order_relaxed)) continue;
            if (IsShared(ours)) ours = OwnPage(index);
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
    for (const auto& page : pages_) count += IsShared(page.load(std::memory_order_relaxed)) ? 0 : 1;
    return count;
}

}  // namespace vextrel
