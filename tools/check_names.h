// The names a configuration can use, and the nearest of them to a misspelt word, for the
// suggestions of `vextrel check`.
#pragma once

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
// letters compared without regard to case when `ignoreCase` is set.
size_t EditDistance(const std::string& left, const std::string& right, bool ignoreCase);

// Up to `limit` candidates nearest to `word` (closest first, then in candidate order), only those
// within a distance that still looks like a misspelling: a third of the word's length, at least 2.
// A candidate equal to the word (in the chosen letter-case sense) is given alone.
std::vector<std::string> NearestNames(const std::string& word, const std::vector<std::string>& candidates,
                                      bool ignoreCase, size_t limit = 3);

}  // namespace vextrel::tool
