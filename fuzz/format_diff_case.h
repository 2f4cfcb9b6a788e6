// One differential formatting case built from a byte string: a random printf format (flags, widths,
// precisions, length modifiers and conversions, with `*` arguments) and random arguments of the
// types the format asks for, formatted by FormatMessageText and by std::vsnprintf into buffers of
// the same capacity, and captured for later formatting (CaptureMessage) and then formatted from the
// capture, as the writer does. Shared by the libFuzzer program and the plain random-case program.
#pragma once

#include <cfloat>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/message_formatter.h"

namespace vextrel::fuzz {

// Hands out the input bytes; zeros once they run out.
class ByteSource {
public:
    ByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
    uint64_t Bits() {
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i) value = value << 8 | Byte();
        return value;
    }
    uint32_t Below(uint32_t limit) { return Byte() % limit; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

enum class ArgKind : uint8_t { kInt, kLong, kLongLong, kDouble, kText };

struct Argument {
    ArgKind kind;
    long long integer = 0;
    double real = 0;
    const char* text = nullptr;
};

constexpr size_t kMaxArguments = 4;

// The capacity of a capture: a record's text.
constexpr size_t kCaptureCapacity = 512;

struct Outcome {
    int oursLength = 0;
    int theirsLength = 0;
    bool captured = false;  // the call was captured; laterLength and later hold its formatting
    int laterLength = 0;
    char ours[600];
    char theirs[600];
    char later[600];
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#if defined(__clang__)
#pragma GCC diagnostic ignored "-Wformat-security"
#endif
inline int Ours(char* out, size_t capacity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = FormatMessageText(out, capacity, format, args);
    va_end(args);
    return length;
}

// Captures the call twice, as a call site that traces again does (the second capture finds the
// format's argument kinds learnt by the first), and when it was captured, formats the second capture
// into `out`, as the writer formats a record from its slot.
inline bool Later(char* out, size_t capacity, int& length, const char* format, ...) {
    char captured[kCaptureCapacity];
    va_list args;
    va_start(args, format);
    CaptureMessage(captured, sizeof captured, format, args);
    const bool done = CaptureMessage(captured, sizeof captured, format, args);
    va_end(args);
    if (done) length = FormatCapturedMessage(out, capacity, captured, sizeof captured);
    return done;
}

inline int Theirs(char* out, size_t capacity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(out, capacity, format, args);
    va_end(args);
    return length;
}

// Passes the arguments, each as its own C type, to both formatters.
template <typename... Values>
void FormatBoth(const Argument* arguments, size_t count, const char* format, size_t capacity, Outcome& outcome,
                Values... values) {
    if constexpr (sizeof...(Values) < kMaxArguments) {
        if (count != 0) {
            const Argument& a = *arguments;
            switch (a.kind) {
                case ArgKind::kInt:
                    return FormatBoth(arguments + 1, count - 1, format, capacity, outcome, values...,
                                      static_cast<int>(a.integer));
                case ArgKind::kLong:
                    return FormatBoth(arguments + 1, count - 1, format, capacity, outcome, values...,
                                      static_cast<long>(a.integer));
                case ArgKind::kLongLong:
                    return FormatBoth(arguments + 1, count - 1, format, capacity, outcome, values..., a.integer);
                case ArgKind::kDouble:
                    return FormatBoth(arguments + 1, count - 1, format, capacity, outcome, values..., a.real);
                case ArgKind::kText:
                    return FormatBoth(arguments + 1, count - 1, format, capacity, outcome, values..., a.text);
            }
        }
    }
    std::memset(outcome.ours, 0x5A, sizeof outcome.ours);
    std::memset(outcome.theirs, 0x5A, sizeof outcome.theirs);
    std::memset(outcome.later, 0x5A, sizeof outcome.later);
    outcome.oursLength = Ours(outcome.ours, capacity, format, values...);
    outcome.captured = Later(outcome.later, capacity, outcome.laterLength, format, values...);
    outcome.theirsLength = Theirs(outcome.theirs, capacity, format, values...);
}
#pragma GCC diagnostic pop

// The argument kind that passes a value of integer type T.
template <typename T>
constexpr ArgKind KindOf() {
    return sizeof(T) <= sizeof(int) ? ArgKind::kInt : sizeof(T) == sizeof(long) ? ArgKind::kLong : ArgKind::kLongLong;
}

inline long long RandomInteger(ByteSource& source) {
    static constexpr long long kSpecial[] = {
        0,     1,       -1,      7,        10,        99,        100,        -100,           255, 256, 65535,
        65536, INT_MAX, INT_MIN, UINT_MAX, LLONG_MAX, LLONG_MIN, 1000000007, 999999999999LL, -8,  128, -129};
    const uint8_t pick = source.Byte();
    if (pick < 100) return kSpecial[pick % (sizeof kSpecial / sizeof kSpecial[0])];
    const uint64_t bits = source.Bits();
    return static_cast<long long>(pick < 180 ? bits >> (bits & 63) : bits);
}

inline double RandomDouble(ByteSource& source) {
    static constexpr double kSpecial[] = {
        0.0,     -0.0,     0.125,    0.375, 2.5,  0.5,  1.5, 1e308, DBL_MAX, DBL_MIN, 5e-324, 1e-5,  1e-4,   9.9999e-5,
        0.00015, 123456.5, 999999.5, 1e15,  1e16, 1e17, 9.5, 0.05,  1e21,    1e22,    1e23,   2.675, 1.0 / 3};
    const uint8_t pick = source.Byte();
    const uint64_t bits = source.Bits();
    if (pick < 70) {
        const double value = kSpecial[pick % (sizeof kSpecial / sizeof kSpecial[0])];
        return bits & 1 ? -value : value;
    }
    if (pick < 150) {
        // A decimal fraction with a few digits, the way hosts' timings and ratios look.
        static constexpr double kScales[] = {1, 10, 100, 1000, 1e4, 1e6, 1e9, 0.001, 8};
        const double value = static_cast<double>(bits % 20000001) / kScales[(bits >> 32) % 9];
        return (bits >> 40) & 1 ? -value : value;
    }
    double value;
    std::memcpy(&value, &bits, sizeof value);  // any bit pattern: NaNs, infinities, subnormals
    return value;
}

// Builds one case from the bytes and formats it both ways; returns the format in `format`.
inline void RunCase(ByteSource& source, std::string& format, size_t& capacity, Outcome& outcome) {
    static const std::string kLongText(300, 'w');
    static const char* const kLiterals[] = {
        "",   "",
        "x",  " id=",
        "%%", "ab%%c",
        "\t", "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789"};
    static const char* const kTexts[] = {"", "mixer", "a b", "hello world", kLongText.c_str()};
    static const char kConversions[] = "diuxXocsfFeEgGdxfgs%aAp";
    static const char* const kIntegerLengths[] = {"", "", "hh", "h", "l", "ll", "j", "z", "t"};
    Argument arguments[kMaxArguments];
    size_t count = 0;
    format.clear();
    const uint32_t pieces = 1 + source.Below(4);
    for (uint32_t piece = 0; piece < pieces && count < kMaxArguments; ++piece) {
        format += kLiterals[source.Below(sizeof kLiterals / sizeof kLiterals[0])];
        format += '%';
        const uint8_t flags = source.Byte();
        for (int f = 0; f < 5; ++f) {
            if (flags & (1u << f) && (flags & 0xE0) == 0) format += "-+ #0"[f];
        }
        const uint8_t width = source.Byte();
        if (width < 60) {
            format += std::to_string(width % 30);
        } else if (width < 70) {
            format += std::to_string(400 + width);
        } else if (width < 85 && count + 1 < kMaxArguments) {
            format += '*';
            arguments[count++] = {ArgKind::kInt, static_cast<int>(source.Byte()) - 128 + (width == 84 ? 600 : 0)};
        }
        const uint8_t precision = source.Byte();
        if (precision < 100) {
            format += '.';
            if (precision < 80) format += std::to_string(precision % 40);
        } else if (precision < 110) {
            format += '.' + std::to_string(100 + precision * 3);
        } else if (precision < 125 && count + 1 < kMaxArguments) {
            format += ".*";
            arguments[count++] = {ArgKind::kInt, static_cast<int>(source.Byte()) - 64};
        }
        const char conversion = kConversions[source.Below(sizeof kConversions - 1)];
        const char* length = "";
        if (strchr("diuxXo", conversion) != nullptr) {
            length = kIntegerLengths[source.Below(sizeof kIntegerLengths / sizeof kIntegerLengths[0])];
        } else if (strchr("fFeEgG", conversion) != nullptr) {
            length = source.Below(4) == 0 ? "l" : "";
        }
        format += length;
        format += conversion;
        Argument argument{ArgKind::kInt};
        if (strchr("fFeEgGaA", conversion) != nullptr) {
            argument = {ArgKind::kDouble, 0, RandomDouble(source)};
        } else if (conversion == 's' || conversion == 'p') {
            argument = {ArgKind::kText, 0, 0, kTexts[source.Below(sizeof kTexts / sizeof kTexts[0])]};
        } else if (conversion != '%') {
            argument.integer = RandomInteger(source);
            const std::string l = length;
            if (l == "l") argument.kind = KindOf<long>();
            if (l == "ll") argument.kind = KindOf<long long>();
            if (l == "j") argument.kind = KindOf<intmax_t>();
            if (l == "z") argument.kind = KindOf<size_t>();
            if (l == "t") argument.kind = KindOf<ptrdiff_t>();
        }
        if (conversion != '%') arguments[count++] = argument;
    }
    format += kLiterals[source.Below(sizeof kLiterals / sizeof kLiterals[0])];
    const uint8_t room = source.Byte();
    capacity = room < 200 ? 512 : room % 40;
    FormatBoth(arguments, count, format.c_str(), capacity, outcome);
}

// True when both formatters, and the formatting of a capture, returned the same length and left the
// same bytes in the buffer.
inline bool Agree(const Outcome& outcome) {
    const bool laterAgrees =
        !outcome.captured || (outcome.laterLength == outcome.theirsLength &&
                              std::memcmp(outcome.later, outcome.theirs, sizeof outcome.later) == 0);
    return laterAgrees && outcome.oursLength == outcome.theirsLength &&
           std::memcmp(outcome.ours, outcome.theirs, sizeof outcome.ours) == 0;
}

}  // namespace vextrel::fuzz
