// Parses the format once, left to right, and writes each piece straight into the caller's buffer;
// the text past the buffer is only counted. Integers are written two digits at a time; doubles take
// their exactly rounded digits from std::to_chars (or, for %f with a short precision, from exact
// integer arithmetic) and are then laid out the way printf lays them out.
#include "core/message_formatter.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "platform/decimal_point.h"

namespace vextrel {
namespace {

// Widths and precisions above these go to vsnprintf: they keep every converted piece inside a
// stack buffer and the total length far from INT_MAX.
constexpr int kMaxWidth = 100000;
constexpr int kMaxFloatPrecision = 400;
// The longest double body: 309 integral digits, the point, the precision and an exponent.
constexpr size_t kFloatBufferSize = 320 + kMaxFloatPrecision + 16;

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The output buffer: characters past its last usable byte are counted, not written.
struct Sink {
    char* out;
    size_t limit;  // capacity - 1: the room before the terminating NUL
    size_t length = 0;

    void Put(char c) {
        if (length < limit) out[length] = c;
        ++length;
    }
    void Write(const char* text, size_t count) {
        if (count <= limit - length && length <= limit) {
            // Short pieces (digits, prefixes) are copied inline rather than through a library call.
            if (count <= 8) {
                for (size_t i = 0; i < count; ++i) out[length + i] = text[i];
            } else {
                std::memcpy(out + length, text, count);
            }
        } else if (length < limit) {
            std::memcpy(out + length, text, limit - length);
        }
        length += count;
    }
    void Fill(char c, size_t count) {
        if (count == 0) return;
        if (length < limit) std::memset(out + length, c, count < limit - length ? count : limit - length);
        length += count;
    }
};

// One conversion's flags, width and precision as the format writes them.
struct Field {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool alt = false;
    bool zero = false;
    int width = 0;
    int precision = -1;  // -1: none given
};

enum class Length { kNone, kChar, kShort, kLong, kLongLong, kMax, kSize, kPtrdiff, kLongDouble };

// Writes `value` in decimal so that it ends just before `end`; returns where it starts.
char* WriteDecimal(uint64_t value, char* end) {
    while (value >= 100) {
        const unsigned pair = static_cast<unsigned>(value % 100) * 2;
        value /= 100;
        *--end = kDigitPairs[pair + 1];
        *--end = kDigitPairs[pair];
    }
    if (value >= 10) {
        *--end = kDigitPairs[value * 2 + 1];
        *--end = kDigitPairs[value * 2];
    } else {
        *--end = static_cast<char>('0' + value);
    }
    return end;
}

// Writes `prefix` and `body` padded to the width: spaces before (or after, when left-justified),
// or `zeros` zeros between prefix and body when zero padding applies.
void EmitPadded(Sink& sink, const Field& field, const char* prefix, size_t prefixLength, size_t zeros,
                bool zeroPad, const char* body, size_t bodyLength) {
    size_t total = prefixLength + zeros + bodyLength;
    const size_t width = static_cast<size_t>(field.width);
    if (zeroPad && width > total) {
        zeros += width - total;
        total = width;
    }
    if (!field.left && width > total) sink.Fill(' ', width - total);
    sink.Write(prefix, prefixLength);
    sink.Fill('0', zeros);
    sink.Write(body, bodyLength);
    if (field.left && width > total) sink.Fill(' ', width - total);
}

// Writes one integer; false for %#.0o of zero, where C libraries disagree (an empty field or "0").
bool EmitInteger(Sink& sink, const Field& field, uint64_t magnitude, bool negative, char conversion) {
    if (field.alt && conversion == 'o' && field.precision == 0 && magnitude == 0) return false;
    char buffer[24];
    char* const end = buffer + sizeof buffer;
    char* begin = end;
    if (conversion == 'x' || conversion == 'X') {
        const char* hex = conversion == 'x' ? "0123456789abcdef" : "0123456789ABCDEF";
        uint64_t value = magnitude;
        do {
            *--begin = hex[value & 15];
            value >>= 4;
        } while (value != 0);
    } else if (conversion == 'o') {
        uint64_t value = magnitude;
        do {
            *--begin = static_cast<char>('0' + (value & 7));
            value >>= 3;
        } while (value != 0);
    } else {
        begin = WriteDecimal(magnitude, end);
    }
    size_t digits = static_cast<size_t>(end - begin);
    if (field.precision == 0 && magnitude == 0) digits = 0;
    size_t zeros = field.precision > 0 && static_cast<size_t>(field.precision) > digits
                       ? static_cast<size_t>(field.precision) - digits
                       : 0;
    char prefix[2];
    size_t prefixLength = 0;
    if (conversion == 'd' || conversion == 'i') {
        if (negative) {
            prefix[prefixLength++] = '-';
        } else if (field.plus) {
            prefix[prefixLength++] = '+';
        } else if (field.space) {
            prefix[prefixLength++] = ' ';
        }
    } else if (field.alt) {
        if (conversion == 'o') {
            // The alternate octal form starts with a zero, adding one only when needed.
            if (zeros == 0 && (digits == 0 || *begin != '0')) zeros = 1;
        } else if (magnitude != 0 && conversion != 'u') {
            prefix[prefixLength++] = '0';
            prefix[prefixLength++] = conversion;
        }
    }
    const bool zeroPad = field.zero && !field.left && field.precision < 0;
    EmitPadded(sink, field, prefix, prefixLength, zeros, zeroPad, end - digits, digits);
    return true;
}

// %f digits of a non-negative double with precision <= 9 by exact integer arithmetic: the value
// times 10^precision, rounded half to even as the exact binary value demands. Returns the length,
// or 0 when the value is out of this method's range.
size_t FixedByIntegers(double value, int precision, char* out) {
    static constexpr uint64_t kPowers[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000,
                                           1000000000};
    if (precision > 9) return 0;
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased = static_cast<int>(bits >> 52);
    const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    const uint64_t mantissa = biased == 0 ? fraction : fraction | (uint64_t{1} << 52);
    const int exponent = (biased == 0 ? 1 : biased) - 1075;
    const unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * kPowers[precision];
    unsigned __int128 units;
    if (exponent >= 0) {
        if (exponent > 10 || (scaled >> (64 - exponent)) != 0) return 0;
        units = scaled << exponent;
    } else if (exponent <= -85) {
        units = 0;  // scaled < 2^83: below half a unit of the last place
    } else {
        const int shift = -exponent;
        units = scaled >> shift;
        const unsigned __int128 rest = scaled & ((static_cast<unsigned __int128>(1) << shift) - 1);
        const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
        if (rest > half || (rest == half && (units & 1) != 0)) ++units;
        if ((units >> 64) != 0) return 0;
    }
    char digits[24];
    char* const end = digits + sizeof digits;
    char* begin = WriteDecimal(static_cast<uint64_t>(units), end);
    while (end - begin <= precision) *--begin = '0';
    const size_t integral = static_cast<size_t>(end - begin) - static_cast<size_t>(precision);
    std::memcpy(out, begin, integral);
    if (precision == 0) return integral;
    out[integral] = '.';
    std::memcpy(out + integral + 1, begin + integral, static_cast<size_t>(precision));
    return integral + 1 + static_cast<size_t>(precision);
}

// Appends printf's exponent ("e+05", "E-123") at `out`; returns the end.
char* WriteExponent(char* out, char letter, int exponent) {
    *out++ = letter;
    *out++ = exponent < 0 ? '-' : '+';
    const unsigned magnitude = static_cast<unsigned>(exponent < 0 ? -exponent : exponent);
    if (magnitude < 10) *out++ = '0';
    char digits[8];
    char* const end = digits + sizeof digits;
    const char* begin = WriteDecimal(magnitude, end);
    std::memcpy(out, begin, static_cast<size_t>(end - begin));
    return out + (end - begin);
}

// The significant digits (point removed) and the decimal exponent of a non-negative double rounded
// to `significant` digits; returns the digit count.
size_t ScientificDigits(double value, int significant, char* digits, int& exponent) {
    char text[kFloatBufferSize];
    const std::to_chars_result result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, significant - 1);
    size_t count = 0;
    const char* p = text;
    for (; *p != 'e'; ++p) {
        if (*p != '.') digits[count++] = *p;
    }
    int magnitude = 0;
    const bool negative = p[1] == '-';
    for (p += 2; p < result.ptr; ++p) magnitude = magnitude * 10 + (*p - '0');
    exponent = negative ? -magnitude : magnitude;
    return count;
}

// The body (no sign) of a finite non-negative double in %e form.
size_t FormatScientific(double value, const Field& field, int precision, bool upper, char* out) {
    char digits[kFloatBufferSize];
    int exponent = 0;
    const size_t count = ScientificDigits(value, precision + 1, digits, exponent);
    char* p = out;
    *p++ = digits[0];
    if (count > 1 || field.alt) *p++ = '.';
    std::memcpy(p, digits + 1, count - 1);
    p += count - 1;
    return static_cast<size_t>(WriteExponent(p, upper ? 'E' : 'e', exponent) - out);
}

// The body (no sign) of a finite non-negative double in %g form: %e or %f by the exponent, with
// trailing zeros removed unless `#` keeps them. Returns 0 for `#` with a value whose rounding
// carries it into the exponent form (999.5 with %#.3g): C libraries differ there, so vsnprintf
// formats it; so it does for a padded value whose integral digits end in zeros past the significant
// ones (1e5 with %10g), where some C libraries lose the padding.
size_t FormatGeneral(double value, const Field& field, int precision, bool upper, char* out) {
    const int significant = precision == 0 ? 1 : precision;
    char digits[kFloatBufferSize];
    int exponent = 0;
    size_t count = ScientificDigits(value, significant, digits, exponent);
    if (field.alt && exponent == significant) return 0;
    if (!field.alt) {
        while (count > 1 && digits[count - 1] == '0') --count;
    }
    char* p = out;
    if (exponent < -4 || exponent >= significant) {
        *p++ = digits[0];
        if (count > 1 || field.alt) *p++ = '.';
        std::memcpy(p, digits + 1, count - 1);
        return static_cast<size_t>(WriteExponent(p + count - 1, upper ? 'E' : 'e', exponent) - out);
    }
    if (exponent < 0) {
        *p++ = '0';
        *p++ = '.';
        std::memset(p, '0', static_cast<size_t>(-exponent - 1));
        p += -exponent - 1;
        std::memcpy(p, digits, count);
        return static_cast<size_t>(p + count - out);
    }
    const size_t integral = static_cast<size_t>(exponent) + 1;
    if (count < integral && field.width != 0) return 0;
    // Without `#` the zeros were stripped, so the integral digits may need padding back.
    for (size_t i = 0; i < integral; ++i) *p++ = i < count ? digits[i] : '0';
    if (count > integral || field.alt) *p++ = '.';
    if (count > integral) {
        std::memcpy(p, digits + integral, count - integral);
        p += count - integral;
    }
    return static_cast<size_t>(p - out);
}

// Writes one double; false when vsnprintf must format the call. Doubles are written here only in
// printf's default conditions: a "." decimal point and rounding to nearest. A host that changes its
// numeric locale or the rounding direction gets what its printf writes.
bool EmitFloat(Sink& sink, const Field& field, double value, char conversion) {
    if (!platform::RoundsToNearest() || !platform::DecimalPointIsDot()) return false;
    const bool upper = conversion == 'F' || conversion == 'E' || conversion == 'G';
    char sign = 0;
    if (std::signbit(value)) {
        sign = '-';
    } else if (field.plus) {
        sign = '+';
    } else if (field.space) {
        sign = ' ';
    }
    const size_t signLength = sign != 0 ? 1 : 0;
    if (std::isnan(value) && sign == '-') return false;  // printed with or without its sign, by library
    if (!std::isfinite(value)) {
        const char* text = std::isnan(value) ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf");
        EmitPadded(sink, field, &sign, signLength, 0, false, text, 3);
        return true;
    }
    const double magnitude = std::fabs(value);
    const int precision = field.precision < 0 ? 6 : field.precision;
    char body[kFloatBufferSize];
    size_t length = 0;
    if (conversion == 'f' || conversion == 'F') {
        length = FixedByIntegers(magnitude, precision, body);
        if (length == 0) {
            length = static_cast<size_t>(
                std::to_chars(body, body + sizeof body, magnitude, std::chars_format::fixed, precision).ptr - body);
        }
        if (precision == 0 && field.alt) body[length++] = '.';
    } else if (conversion == 'e' || conversion == 'E') {
        length = FormatScientific(magnitude, field, precision, upper, body);
    } else {
        length = FormatGeneral(magnitude, field, precision, upper, body);
        if (length == 0) return false;
    }
    EmitPadded(sink, field, &sign, signLength, 0, field.zero && !field.left, body, length);
    return true;
}

// Reads one signed integer argument of the given length; false for a length it does not take.
bool ReadSigned(va_list* args, Length length, int64_t& value) {
    switch (length) {
        case Length::kNone: value = va_arg(*args, int); return true;
        case Length::kChar: value = static_cast<signed char>(va_arg(*args, int)); return true;
        case Length::kShort: value = static_cast<short>(va_arg(*args, int)); return true;
        case Length::kLong: value = va_arg(*args, long); return true;
        case Length::kLongLong: value = va_arg(*args, long long); return true;
        case Length::kMax: value = va_arg(*args, intmax_t); return true;
        case Length::kSize: value = static_cast<std::make_signed_t<size_t>>(va_arg(*args, size_t)); return true;
        case Length::kPtrdiff: value = va_arg(*args, ptrdiff_t); return true;
        case Length::kLongDouble: return false;
    }
    return false;
}

// Reads one unsigned integer argument of the given length; false for a length it does not take.
bool ReadUnsigned(va_list* args, Length length, uint64_t& value) {
    switch (length) {
        case Length::kNone: value = va_arg(*args, unsigned); return true;
        case Length::kChar: value = static_cast<unsigned char>(va_arg(*args, unsigned)); return true;
        case Length::kShort: value = static_cast<unsigned short>(va_arg(*args, unsigned)); return true;
        case Length::kLong: value = va_arg(*args, unsigned long); return true;
        case Length::kLongLong: value = va_arg(*args, unsigned long long); return true;
        case Length::kMax: value = va_arg(*args, uintmax_t); return true;
        case Length::kSize: value = va_arg(*args, size_t); return true;
        case Length::kPtrdiff: value = static_cast<std::make_unsigned_t<ptrdiff_t>>(va_arg(*args, ptrdiff_t)); return true;
        case Length::kLongDouble: return false;
    }
    return false;
}

// Reads a width or precision written in digits; false when it exceeds kMaxWidth.
bool ReadNumber(const char*& p, int& value) {
    value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p++ - '0');
        if (value > kMaxWidth) return false;
    }
    return true;
}

// Formats the whole text into the sink; false as soon as a conversion needs vsnprintf.
bool FormatInto(Sink& sink, const char* p, va_list* args) {
    for (;;) {
        const char* literal = p;
        while (*p != '\0' && *p != '%') ++p;
        if (p != literal) sink.Write(literal, static_cast<size_t>(p - literal));
        if (*p == '\0') return true;
        ++p;
        if (*p == '%') {
            sink.Put('%');
            ++p;
            continue;
        }
        Field field;
        for (;; ++p) {
            if (*p == '-') {
                field.left = true;
            } else if (*p == '+') {
                field.plus = true;
            } else if (*p == ' ') {
                field.space = true;
            } else if (*p == '#') {
                field.alt = true;
            } else if (*p == '0') {
                field.zero = true;
            } else {
                break;
            }
        }
        if (*p == '*') {
            ++p;
            const int width = va_arg(*args, int);
            if (width < -kMaxWidth || width > kMaxWidth) return false;
            if (width < 0) field.left = true;
            field.width = width < 0 ? -width : width;
        } else if (!ReadNumber(p, field.width)) {
            return false;
        }
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                ++p;
                const int precision = va_arg(*args, int);
                if (precision > kMaxWidth) return false;
                field.precision = precision < 0 ? -1 : precision;
            } else if (!ReadNumber(p, field.precision)) {
                return false;
            }
        }
        Length length = Length::kNone;
        switch (*p) {
            case 'h': length = p[1] == 'h' ? Length::kChar : Length::kShort; p += p[1] == 'h' ? 2 : 1; break;
            case 'l': length = p[1] == 'l' ? Length::kLongLong : Length::kLong; p += p[1] == 'l' ? 2 : 1; break;
            case 'j': length = Length::kMax; ++p; break;
            case 'z': length = Length::kSize; ++p; break;
            case 't': length = Length::kPtrdiff; ++p; break;
            case 'L': length = Length::kLongDouble; ++p; break;
            default: break;
        }
        const char conversion = *p++;
        switch (conversion) {
            case 'd':
            case 'i': {
                int64_t value = 0;
                if (field.alt || !ReadSigned(args, length, value)) return false;
                const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
                if (!EmitInteger(sink, field, magnitude, value < 0, conversion)) return false;
                break;
            }
            case 'u':
            case 'o':
            case 'x':
            case 'X': {
                uint64_t value = 0;
                if (field.plus || field.space || (field.alt && conversion == 'u') || !ReadUnsigned(args, length, value)) {
                    return false;
                }
                if (!EmitInteger(sink, field, value, false, conversion)) return false;
                break;
            }
            case 'c': {
                if (length != Length::kNone || field.plus || field.space || field.alt || field.zero || field.precision >= 0) {
                    return false;
                }
                const char c = static_cast<char>(va_arg(*args, int));
                EmitPadded(sink, field, "", 0, 0, false, &c, 1);
                break;
            }
            case 's': {
                if (length != Length::kNone || field.plus || field.space || field.alt || field.zero) return false;
                const char* text = va_arg(*args, const char*);
                if (text == nullptr) return false;
                size_t count = 0;
                if (field.precision < 0) {
                    count = std::strlen(text);
                } else {
                    while (count < static_cast<size_t>(field.precision) && text[count] != '\0') ++count;
                }
                EmitPadded(sink, field, "", 0, 0, false, text, count);
                break;
            }
            case 'f':
            case 'F':
            case 'e':
            case 'E':
            case 'g':
            case 'G': {
                if ((length != Length::kNone && length != Length::kLong) || field.precision > kMaxFloatPrecision) {
                    return false;
                }
                if (!EmitFloat(sink, field, va_arg(*args, double), conversion)) return false;
                break;
            }
            default:
                return false;
        }
    }
}

}  // namespace

bool TryFormatMessageText(char* out, size_t capacity, const char* format, va_list args, int& length) {
    va_list work;
    va_copy(work, args);
    Sink sink{out, capacity == 0 ? 0 : capacity - 1};
    const bool done = FormatInto(sink, format, &work);
    va_end(work);
    if (!done) return false;
    if (capacity != 0) out[sink.length < sink.limit ? sink.length : sink.limit] = '\0';
    length = static_cast<int>(sink.length);
    return true;
}

int FormatMessageText(char* out, size_t capacity, const char* format, va_list args) {
    int length = 0;
    if (TryFormatMessageText(out, capacity, format, args, length)) return length;
    return std::vsnprintf(out, capacity, format, args);
}

}  // namespace vextrel
