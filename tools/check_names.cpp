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

size_t EditDistance(const std::string& left, const std::string& right, bool ignoreCase) {
    std::vector<size_t> previous(right.size() + 1), current(right.size() + 1);
    for (size_t j = 0; j <= right.size(); ++j) previous[j] = j;
    for (size_t i = 1; i <= left.size(); ++i) {
        current[0] = i;
        for (size_t j = 1; j <= right.size(); ++j) {
            const bool same = Folded(left[i - 1], ignoreCase) == Folded(right[j - 1], ignoreCase);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (same ? 0 : 1)});
        }
        std::swap(previous, current);
    }
    return previous[right.size()];
}

std::vector<std::string> NearestNames(const std::string& word, const std::vector<std::string>& candidates,
                                      bool ignoreCase, size_t limit) {
    const size_t reach = std::max<size_t>(2, word.size() / 3);
    std::vector<std::pair<size_t, size_t>> ranked;  // distance, candidate index
    for (size_t i = 0; i < candidates.size(); ++i) {
        const size_t distance = EditDistance(word, candidates[i], ignoreCase);
        if (distance <= reach) ranked.emplace_back(distance, i);
    }
    std::stable_sort(ranked.begin(), ranked.end());
    std::vector<std::string> nearest;
    // An exact match (the word differs only in letter case) is the one answer.
    for (size_t i = 0; i < ranked.size() && i < limit && ranked[i].first <= ranked[0].first + (ranked[0].first == 0 ? 0 : reach); ++i) {
        nearest.push_back(candidates[ranked[i].second]);
    }
    return nearest;
}

}  // namespace vextrel::tool
