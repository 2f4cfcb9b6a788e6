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
    for (uint32_t priority = VXP_LOWEST; priority <= VXP_URGENT; priority <<= 1)
        names.emplace_back(PriorityNameOf(priority));
    return names;
}

std::vector<std::string> OptionKeywordNames() { return {std::begin(kOptionKeywords), std::end(kOptionKeywords)}; }

size_t EditDistance(const std::string& left, const std::string& right, bool ignoreCase, size_t limit) {
    const size_t lengthGap = left.size() > right.size() ? left.size() - right.size() : right.size() - left.size();
    if (lengthGap > limit) return limit + 1;
    // No distance is above the longer length; past the limit every value counts the same.
    limit = std::min(limit, std::max(left.size(), right.size()));
    const size_t over = limit + 1;
    // Two rows of the table; only the cells within `limit` of the diagonal can stay within it.
    constexpr size_t kOnStack = 128;
    size_t stackRows[2 * kOnStack];
    std::vector<size_t> heapRows;
    size_t* previous = stackRows;
    if (right.size() + 1 > kOnStack) {
        heapRows.resize(2 * (right.size() + 1));
        previous = heapRows.data();
    }
    size_t* current = previous + right.size() + 1;
    for (size_t j = 0; j <= right.size(); ++j) previous[j] = j <= limit ? j : over;
    for (size_t i = 1; i <= left.size(); ++i) {
        const size_t low = i > limit ? i - limit : 1;
        const size_t high = std::min(right.size(), i + limit);
        current[low - 1] = low == 1 ? std::min(i, over) : over;
        size_t rowBest = current[low - 1];
        const char letter = Folded(left[i - 1], ignoreCase);
        for (size_t j = low; j <= high; ++j) {
            const size_t replace = previous[j - 1] + (letter == Folded(right[j - 1], ignoreCase) ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, replace, over});
            rowBest = std::min(rowBest, current[j]);
        }
        if (high < right.size()) current[high + 1] = over;  // read by the next row, outside its band
        // Every later row is at least the best of this one.
        if (rowBest > limit) return over;
        std::swap(previous, current);
    }
    return std::min(previous[right.size()], over);
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

// The edit distance of a word of at most 64 letters to `text`, one bit a letter of the word
// (the bit-vector method of Myers in Hyyro's form for whole words): `letters[c]` has the bits of
// the places where the word holds c.
size_t BitParallelDistance(const std::array<uint64_t, 256>& letters, size_t wordLength, const std::string& text) {
    if (wordLength == 0) return text.size();
    const uint64_t top = uint64_t{1} << (wordLength - 1);
    uint64_t plusVertical = ~uint64_t{0}, minusVertical = 0;
    size_t distance = wordLength;
    for (char c : text) {
        const uint64_t equal = letters[static_cast<unsigned char>(c)];
        const uint64_t crossVertical = equal | minusVertical;
        const uint64_t crossHorizontal = (((equal & plusVertical) + plusVertical) ^ plusVertical) | equal;
        uint64_t plusHorizontal = minusVertical | ~(crossHorizontal | plusVertical);
        uint64_t minusHorizontal = plusVertical & crossHorizontal;
        if (plusHorizontal & top)
            ++distance;
        else if (minusHorizontal & top)
            --distance;
        plusHorizontal = plusHorizontal << 1 | 1;  // the first row counts up: a whole word against nothing
        minusHorizontal <<= 1;
        plusVertical = minusHorizontal | ~(crossVertical | plusHorizontal);
        minusVertical = plusHorizontal & crossVertical;
    }
    return distance;
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
    if (limit == 0) return {};
    const size_t reach = std::max<size_t>(2, word.size() / 3);
    const std::string foldedWord = ignoreCase ? FoldedText(word) : word;
    const Profile profile = ProfileOf(word);
    const bool bitParallel = foldedWord.size() <= 64;
    std::array<uint64_t, 256> letters{};
    if (bitParallel) {
        for (size_t i = 0; i < foldedWord.size(); ++i)
            letters[static_cast<unsigned char>(foldedWord[i])] |= uint64_t{1} << i;
    }
    // The `limit` nearest so far, by distance then by name order: once there are that many, a
    // name must come closer than the last of them, which bounds every later comparison.
    std::vector<std::pair<size_t, size_t>> ranked;  // distance, name index
    const auto consider = [&](size_t index) {
        const size_t bound = ranked.size() == limit ? ranked.back().first : reach;
        if (ProfileDistance(profile, profiles_[index]) > 2 * bound) return;
        const std::string& name = ignoreCase ? folded_[index] : names_[index];
        const size_t distance = bitParallel ? BitParallelDistance(letters, foldedWord.size(), name)
                                            : EditDistance(foldedWord, name, false, bound);
        if (distance > bound) return;
        const std::pair<size_t, size_t> found(distance, index);
        if (ranked.size() == limit && found >= ranked.back()) return;
        ranked.insert(std::upper_bound(ranked.begin(), ranked.end(), found), found);
        if (ranked.size() > limit) ranked.pop_back();
    };
    // Lengths nearest the word's first, so that close names bound the search early.
    for (size_t gap = 0; gap <= (ranked.size() == limit ? ranked.back().first : reach); ++gap) {
        if (word.size() + gap < byLength_.size())
            for (size_t index : byLength_[word.size() + gap]) consider(index);
        if (gap > 0 && gap <= word.size() && word.size() - gap < byLength_.size())
            for (size_t index : byLength_[word.size() - gap]) consider(index);
    }
    std::vector<std::string> nearest;
    // An exact match (the word differs only in letter case) is the one answer.
    for (size_t i = 0; i < ranked.size() && ranked[i].first <= ranked[0].first + (ranked[0].first == 0 ? 0 : reach);
         ++i) {
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
