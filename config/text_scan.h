// Small text helpers of the configuration language: token splitting, letter-case-blind comparison
// and the decimal conversion of numeric option values. All of them keep no state between calls.
#pragma once

#include <cstdint>

namespace vextrel {

// Returns the next token of `*cursor` that consists of no character of `delimiters`, terminated in
// place, and advances `*cursor` past it; null when only delimiters remain. Runs of delimiters count
// as one separator and no token is ever empty (the rules of strtok, with the position held by the
// caller instead of hidden process-wide state).
char* NextToken(char** cursor, const char* delimiters);

// Whether two texts are equal when ASCII letters are compared without regard to case.
bool EqualsIgnoringCase(const char* left, const char* right);

// Converts the decimal number at the start of `text` the way atol does: leading white space and one
// sign are skipped, conversion stops at the first non-digit, and a text that does not begin with a
// number gives 0. Values beyond the signed 32-bit range saturate at its ends, as atol does where
// long has 32 bits.
int32_t DecimalPrefixValue(const char* text);

// Removes trailing blanks and tabs from `text` in place.
void TrimTrailingBlanks(char* text);

}  // namespace vextrel
