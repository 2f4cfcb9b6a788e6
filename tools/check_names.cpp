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

namespace {

// How often each character occurs, letters folded, counted in 64 bins: half the sum of the
// differences of two profiles is at most the edit distance of their words, so a name far off by
// its letters is passed over without comparing it.
NameIndex::Profile ProfileOf(const std::string& word) {
    NameIndex::Profile profile{};
    for (char c : word) ++profile[static_cast<unsigned char>(Folded(c, true)) & 63u];
    return profile;
}

size_t ProfileDistance(const NameIndex::Profile& a, const NameIndex::Profile& b) {
    size_t sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += a[i] > b[i] ? a[i] - b[i] : b[i] - a[i];
    return sum;
}

std::string FoldedText(const std::string& word) {
    std::string folded = word;
    for (char& c : folded) c = Folded(c, true);
    return folded;
}

}  // namespace

NameIndex::NameIndex(std::vector<std::string> names) : names_(std::move(names)) {
    for (size_t i = 0; i < names_.size(); ++i) {
        if (byLength_.size() <= names_[i].size()) byLength_.resize(names_[i].size() + 1);
        byLength_[names_[i].size()].push_back(i);
        folded_.push_back(FoldedText(names_[i]));
        profiles_.push_back(ProfileOf(names_[i]));
    }
}

std::vector<std::string> NameIndex::Nearest(const std::string& word, bool ignoreCase, size_t limit) const {
    const size_t reach = std::max<size_t>(2, word.size() / 3);
    const std::string foldedWord = ignoreCase ? FoldedText(word) : word;
    const Profile profile = ProfileOf(word);
    std::vector<std::pair<size_t, size_t>> ranked;  // distance, name index
    const size_t shortest = word.size() > reach ? word.size() - reach : 0;
    for (size_t length = shortest; length <= word.size() + reach && length < byLength_.size(); ++length) {
        for (size_t index : byLength_[length]) {
            if (ProfileDistance(profile, profiles_[index]) > 2 * reach) continue;
            const size_t distance = EditDistance(foldedWord, ignoreCase ? folded_[index] : names_[index], false, reach);
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
