#include "tools/check_names.h"

#include <algorithm>
#include <cctype>

#include "config/config_parser.h"
#include "core/facility.h"

namespace vextrel::tool {
namespace {

char Folded(char c, bool ignoreCase) {
    return ignoreCase ? static_cast<char>(std::tolower(static_cast<unsigned char>(c))) : c;
}

}  // namespace

std::vector<std::string> RegisteredFacilityNames() {
    RegisterBuiltinFacilities();
    std::vector<std::string> names;
    for (uint32_t id = 0; id < kFacilityIdLimit; ++id) {
        if (const char* name = FacilityNameOf(id)) names.emplace_back(name);
    }
    return names;
}

std::vector<std::string> PriorityLevelNames() {
    std::vector<std::string> names;
    for (uint32_t priority = VXP_LOWEST; priority <= VXP_URGENT; priority <<= 1) names.emplace_back(PriorityNameOf(priority));
    return names;
}

std::vector<std::string> OptionKeywordNames() { return {std::begin(kOptionKeywords), std::end(kOptionKeywords)}; }

size_t EditDistance(const std::string& left, const std::string& right, bool ignoreCase, size_t limit) {
    const size_t lengthGap = left.size() > right.size() ? left.size() - right.size() : right.size() - left.size();
    if (lengthGap > limit) return limit + 1;
    std::vector<size_t> previous(right.size() + 1), current(right.size() + 1);
    for (size_t j = 0; j <= right.size(); ++j) previous[j] = j;
    for (size_t i = 1; i <= left.size(); ++i) {
        current[0] = i;
        size_t rowBest = current[0];
        for (size_t j = 1; j <= right.size(); ++j) {
            const bool same = Folded(left[i - 1], ignoreCase) == Folded(right[j - 1], ignoreCase);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (same ? 0 : 1)});
            rowBest = std::min(rowBest, current[j]);
        }
        // Every later row is at least the best of this one.
        if (rowBest > limit) return limit + 1;
        std::swap(previous, current);
    }
    return std::min(previous[right.size()], limit + 1);
}

NameIndex::NameIndex(std::vector<std::string> names) : names_(std::move(names)) {
    for (size_t i = 0; i < names_.size(); ++i) {
        if (byLength_.size() <= names_[i].size()) byLength_.resize(names_[i].size() + 1);
        byLength_[names_[i].size()].push_back(i);
    }
}

std::vector<std::string> NameIndex::Nearest(const std::string& word, bool ignoreCase, size_t limit) const {
    const size_t reach = std::max<size_t>(2, word.size() / 3);
    std::vector<std::pair<size_t, size_t>> ranked;  // distance, name index
    const size_t shortest = word.size() > reach ? word.size() - reach : 0;
    for (size_t length = shortest; length <= word.size() + reach && length < byLength_.size(); ++length) {
        for (size_t index : byLength_[length]) {
            const size_t distance = EditDistance(word, names_[index], ignoreCase, reach);
            if (distance <= reach) ranked.emplace_back(distance, index);
        }
    }
    std::sort(ranked.begin(), ranked.end());
    std::vector<std::string> nearest;
    // An exact match (the word differs only in letter case) is the one answer.
    for (size_t i = 0; i < ranked.size() && i < limit && ranked[i].first <= ranked[0].first + (ranked[0].first == 0 ? 0 : reach); ++i) {
        nearest.push_back(names_[ranked[i].second]);
    }
    return nearest;
}

const NameIndex& FacilityNameIndex() {
    static const NameIndex index(RegisteredFacilityNames());
    return index;
}

const NameIndex& PriorityNameIndex() {
    static const NameIndex index(PriorityLevelNames());
    return index;
}

const NameIndex& OptionNameIndex() {
    static const NameIndex index(OptionKeywordNames());
    return index;
}

}  // namespace vextrel::tool
