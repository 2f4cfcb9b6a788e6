#include "core/priority_table.h"

namespace vextrel {

PriorityTable::PriorityTable(uint32_t firstEntry) {
    Fill(kPriorityOff);
    Set(0, firstEntry);
}

void PriorityTable::Fill(uint32_t priority) {
    for (auto& entry : entries_) entry.store(priority, std::memory_order_relaxed);
}

void PriorityTable::LowerTo(const PriorityTable& other) {
    for (uint32_t i = 0; i < kPriorityTableSize; ++i) {
        const uint32_t theirs = other.Get(i);
        if (theirs < Get(i)) Set(i, theirs);
    }
}

void PriorityTable::CopyFrom(const PriorityTable& other) {
    if (&other == this) return;
    for (uint32_t i = 0; i < kPriorityTableSize; ++i) Set(i, other.Get(i));
}

bool PriorityTable::SameAs(const PriorityTable& other) const {
    for (uint32_t i = 0; i < kPriorityTableSize; ++i) {
        if (Get(i) != other.Get(i)) return false;
    }
    return true;
}

}  // namespace vextrel
