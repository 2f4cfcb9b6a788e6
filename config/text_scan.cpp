#include "config/text_scan.h"

#include <cstring>

namespace vextrel {
namespace {

// A plain loop: the sets are one or two characters, too short for strchr to pay its call.
bool IsDelimiter(char c, const char* delimiters) {
    if (c == '\0') return false;
    for (const char* delimiter = delimiters; *delimiter != '\0'; ++delimiter) {
        if (*delimiter == c) return true;
    }
    return false;
}

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The characters that isspace accepts in the "C" locale.
bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

char* NextToken(char** cursor, const char* delimiters) {
    char* position = *cursor;
    if (position == nullptr) return nullptr;
    while (IsDelimiter(*position, delimiters)) ++position;
    if (*position == '\0') {
        *cursor = position;
        return nullptr;
    }
    char* token = position;
    while (*position != '\0' && !IsDelimiter(*position, delimiters)) ++position;
    if (*position != '\0') *position++ = '\0';
    *cursor = position;
    return token;
}

bool EqualsIgnoringCase(const char* left, const char* right) {
    for (;; ++left, ++right) {
        if (FoldCase(*left) != FoldCase(*right)) return false;
        if (*left == '\0') return true;
    }
}

int32_t DecimalPrefixValue(const char* text) {
    while (IsWhiteSpace(*text)) ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    // Accumulate the magnitude in 64 bits and stop growing it once it passes the 32-bit range, so
    // that no number of digits overflows.
    constexpr int64_t kLimit = int64_t{INT32_MAX} + 1;
    int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (magnitude <= kLimit) magnitude = magnitude * 10 + (*text - '0');
    }
    if (negative) return magnitude >= kLimit ? INT32_MIN : static_cast<int32_t>(-magnitude);
    return magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
}

void TrimTrailingBlanks(char* text) {
    size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t')) text[--length] = '\0';
}

}  // namespace vextrel
