// The names a configuration can use, and the nearest of them to a misspelt word, for the
// suggestions of `vextrel check`.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vextrel::tool {

// Every facility name in the library's registry (built-in facilities), in id order.
std::vector<std::string> RegisteredFacilityNames();

// The five priority level names, lowest first.
std::vector<std::string> PriorityLevelNames();

// The option keywords of the configuration language.
std::vector<std::string> OptionKeywordNames();

// Edit distance (insertions, deletions, substitutions of one character) between two words, with
// letters compared without regard to case when `ignoreCase` is set; any distance above `limit`
// is given as limit + 1 (the search stops there).
size_t EditDistance(const std::string& left, const std::string& right, bool ignoreCase, size_t limit = SIZE_MAX);

// Names indexed once by length, so that the nearest to a word are found among the few names
// whose length is close enough, each compared only as far as the distance allowed.
class NameIndex {
public:
    using Profile = std::array<uint16_t, 64>;

    explicit NameIndex(std::vector<std::string> names);

    // Up to `limit` names nearest to `word` (closest first, then in the order given), only those
    // within a distance that still looks like a misspelling: a third of the word's length, at
    // least 2. A name equal to the word (in the chosen letter-case sense) is given alone.
    std::vector<std::string> Nearest(const std::string& word, bool ignoreCase, size_t limit = 3) const;

private:
    std::vector<std::string> names_;
    std::vector<std::string> folded_;            // the names in lower case
    std::vector<Profile> profiles_;              // their letters counted
    std::vector<std::vector<size_t>> byLength_;  // indexes into names_, by name length
};

// The indexes of the three kinds of names, built on first use.
const NameIndex& FacilityNameIndex();
const NameIndex& PriorityNameIndex();
const NameIndex& OptionNameIndex();

}  // namespace vextrel::tool
