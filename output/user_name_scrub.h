// Keeps the user's login name out of trace files.
#pragma once

#include <cstddef>
#include <string_view>

namespace vextrel {

// Room for a scrubbed line: twice the longest line the library writes (1024 bytes), so a line
// gains up to 1024 bytes from replacements before it is cut.
constexpr size_t kScrubbedLineCapacity = 2048;

// The text to write for `text` with each exact, case-sensitive occurrence of `userName` replaced by
// "username", left to right, the search resuming behind each replacement. Returns `text` itself
// (no copy) when the name is null, empty or absent; otherwise a view of `scratch` holding the
// scrubbed copy. A copy that outgrows `scratchSize` is cut there, and a cut line that ended in a
// newline keeps its newline as the last byte so the next line still starts on its own line.
std::string_view ScrubUserName(std::string_view text, const char* userName, char* scratch, size_t scratchSize);

}  // namespace vextrel
