// Text as a JSON string literal.
#pragma once

#include <string>
#include <string_view>

namespace vextrel::tool {

// `text` quoted and escaped as a JSON string; bytes that are not valid UTF-8 become U+FFFD, so
// the output is always valid JSON whatever a message held.
std::string JsonQuoted(std::string_view text);

// The same, appended to `out`.
void AppendJsonQuoted(std::string& out, std::string_view text);

// The most bytes the quoted form of `size` bytes takes (a control byte becomes six).
constexpr size_t JsonQuotedBound(size_t size) { return 6 * size + 2; }

// The same, written at `out`, which has room for JsonQuotedBound(text.size()) bytes; returns the end.
char* WriteJsonQuoted(char* out, std::string_view text);

// The same for the first line of `text` only (up to its first '\n', or all of it): `quoted` gets
// the number of bytes of `text` quoted. One pass, for texts of which only the first line is wanted.
char* WriteJsonQuotedLine(char* out, std::string_view text, size_t& quoted);

}  // namespace vextrel::tool
