// Small numbers (indices into a vector) for 64-bit keys such as a process and thread or a facility,
// by open addressing: commands look one up for every record, so a multiply and a compare or two
// rather than a tree walk or a hop to a hash node.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace vextrel::tool {

class FlatIndex {
public:
    static constexpr uint32_t kNone = UINT32_MAX;

    uint32_t Find(uint64_t key) const {
        if (slots_.empty()) return kNone;
        for (size_t at = SlotOf(key);; at = (at + 1) & (slots_.size() - 1)) {
            if (slots_[at].value == kNone || slots_[at].key == key) return slots_[at].value;
        }
    }
    void Insert(uint64_t key, uint32_t value) {
        if ((used_ + 1) * 2 > slots_.size()) Grow();
        size_t at = SlotOf(key);
        while (slots_[at].value != kNone) at = (at + 1) & (slots_.size() - 1);
        slots_[at] = {key, value};
        ++used_;
    }
    void Clear() {
        slots_.clear();
        used_ = 0;
    }

private:
    struct Slot {
        uint64_t key = 0;
        uint32_t value = kNone;
    };
    size_t SlotOf(uint64_t key) const {
        return static_cast<size_t>((key * 0x9E3779B97F4A7C15u) >> 32) & (slots_.size() - 1);
    }
    void Grow() {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
        used_ = 0;
        for (const Slot& slot : old) {
            if (slot.value != kNone) Insert(slot.key, slot.value);
        }
    }
    std::vector<Slot> slots_;
    size_t used_ = 0;
};

}  // namespace vextrel::tool
