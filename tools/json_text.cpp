#include "tools/json_text.h"

#include <cstdio>

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

}  // namespace

void AppendJsonQuoted(std::string& out, std::string_view text) {
    out += '"';
    while (!text.empty()) {
        // Runs of plain ASCII are copied at once.
        size_t plain = 0;
        while (plain < text.size()) {
            const unsigned char b = static_cast<unsigned char>(text[plain]);
            if (b < 0x20 || b >= 0x80 || b == '"' || b == '\\') break;
            ++plain;
        }
        out.append(text.substr(0, plain));
        text.remove_prefix(plain);
        if (text.empty()) break;
        const unsigned char c = static_cast<unsigned char>(text.front());
        size_t taken = 1;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((taken = Utf8Length(text)) != 0) {
            out.append(text.substr(0, taken));
        } else {
            out += "\xEF\xBF\xBD";
            taken = 1;
        }
        text.remove_prefix(taken);
    }
    out += '"';
}

std::string JsonQuoted(std::string_view text) {
    std::string out;
    AppendJsonQuoted(out, text);
    return out;
}

}  // namespace vextrel::tool
