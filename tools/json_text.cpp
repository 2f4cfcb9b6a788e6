#include "tools/json_text.h"

#include <cstdint>
#include <cstring>

namespace vextrel::tool {
namespace {

// The length of the valid UTF-8 sequence at the start of `text`, or 0.
size_t Utf8Length(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    size_t length = 0;
    uint32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, value = lead & 0x1Fu;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, value = lead & 0x0Fu;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, value = lead & 0x07u;
    if (length == 0 || text.size() < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0u) != 0x80u) return 0;
        value = value << 6 | (byte(i) & 0x3Fu);
    }
    const bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
    const bool invalid = value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF);
    return overlong || invalid ? 0 : length;
}

char* WriteTwo(char* out, char escaped) {
    out[0] = '\\';
    out[1] = escaped;
    return out + 2;
}

// True when none of the 8 bytes of `word` needs escaping: no control byte, no byte of 0x80 or
// above, no '"' and no '\'. Plain ASCII, by far the most of what messages hold, goes 8 bytes a step.
bool PlainWord(uint64_t word) {
    constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
    const auto anyZero = [](uint64_t x) { return (x - kOnes) & ~x & kHighs; };
    const uint64_t below20 = (word - kOnes * 0x20) & ~word & kHighs;
    return ((word & kHighs) | below20 | anyZero(word ^ (kOnes * '"')) | anyZero(word ^ (kOnes * '\\'))) == 0;
}

// Quotes `text`, or with `firstLine` only up to its first line end: `quoted` says how many bytes of it were.
template <bool firstLine>
char* WriteQuoted(char* out, std::string_view text, size_t& quoted) {
    *out++ = '"';
    const char* in = text.data();
    const char* const end = in + text.size();
    while (in != end) {
        uint64_t word;
        if (end - in >= 8) {
            std::memcpy(&word, in, 8);
            if (PlainWord(word)) {
                std::memcpy(out, in, 8);
                in += 8;
                out += 8;
                continue;
            }
        } else if (text.size() >= 8) {
            // The last few bytes: the 8 that end the text, when all plain, are copied over the
            // output of those already written (plain bytes are written as they are, so they line up).
            std::memcpy(&word, end - 8, 8);
            if (PlainWord(word)) {
                const size_t rest = static_cast<size_t>(end - in);
                std::memcpy(out - (8 - rest), end - 8, 8);
                out += rest;
                in = end;
                break;
            }
        }
        const unsigned char c = static_cast<unsigned char>(*in);
        size_t taken = 1;
        if (c == '"' || c == '\\') {
            *out++ = '\\';
            *out++ = static_cast<char>(c);
        } else if (c == '\n') {
            if constexpr (firstLine) break;
            out = WriteTwo(out, 'n');
        } else if (c == '\t') {
            out = WriteTwo(out, 't');
        } else if (c == '\r') {
            out = WriteTwo(out, 'r');
        } else if (c < 0x20) {
            static constexpr char kHex[] = "0123456789abcdef";
            const char escape[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
            std::memcpy(out, escape, 6);
            out += 6;
        } else if (c < 0x80) {
            *out++ = static_cast<char>(c);
        } else if ((taken = Utf8Length(std::string_view(in, static_cast<size_t>(end - in)))) != 0) {
            std::memcpy(out, in, taken);
            out += taken;
        } else {
            std::memcpy(out, "\xEF\xBF\xBD", 3);
            out += 3;
            taken = 1;
        }
        in += taken;
    }
    quoted = static_cast<size_t>(in - text.data());
    *out++ = '"';
    return out;
}

}  // namespace

char* WriteJsonQuoted(char* out, std::string_view text) {
    size_t quoted;
    return WriteQuoted<false>(out, text, quoted);
}

char* WriteJsonQuotedLine(char* out, std::string_view text, size_t& quoted) {
    return WriteQuoted<true>(out, text, quoted);
}

void AppendJsonQuoted(std::string& out, std::string_view text) {
    const size_t before = out.size();
    out.resize(before + JsonQuotedBound(text.size()));
    out.resize(static_cast<size_t>(WriteJsonQuoted(out.data() + before, text) - out.data()));
}

std::string JsonQuoted(std::string_view text) {
    std::string out;
    AppendJsonQuoted(out, text);
    return out;
}

}  // namespace vextrel::tool
