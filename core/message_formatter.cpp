// Parses the format once, left to right, and writes each piece straight into the caller's buffer;
// the text past the buffer is only counted. Integers are written two digits at a time; doubles take
// their exactly rounded digits from std::to_chars (or, for %f with a short precision, from exact
// integer arithmetic) and are then laid out the way printf lays them out.
#include "core/message_formatter.h"

#include <atomic>
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
void EmitPadded(Sink& sink, const Field& field, const char* prefix, size_t prefixLength, size_t zeros, bool zeroPad,
                const char* body, size_t bodyLength) {
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

// %#.0o of zero, where C libraries disagree (an empty field or "0").
bool OctalZeroDiffers(const Field& field, uint64_t magnitude, char conversion) {
    return field.alt && conversion == 'o' && field.precision == 0 && magnitude == 0;
}

// Writes one integer; false where OctalZeroDiffers.
bool EmitInteger(Sink& sink, const Field& field, uint64_t magnitude, bool negative, char conversion) {
    if (OctalZeroDiffers(field, magnitude, conversion)) return false;
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
    static constexpr uint64_t kPowers[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};
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

// Whether printf writes a negative NaN with or without its sign depends on the C library.
bool IsNegativeNan(double value) { return std::isnan(value) && std::signbit(value); }

// Writes one double; false when vsnprintf must format the call. The argument source has made sure
// that printf's default conditions held at the call (see FloatDefaults).
bool EmitFloat(Sink& sink, const Field& field, double value, char conversion) {
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
    if (IsNegativeNan(value)) return false;
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

// Reads one signed integer argument of the given length (never kLongDouble: the walk refuses it).
int64_t ReadSigned(va_list* args, Length length) {
    switch (length) {
        case Length::kChar: return static_cast<signed char>(va_arg(*args, int));
        case Length::kShort: return static_cast<short>(va_arg(*args, int));
        case Length::kLong: return va_arg(*args, long);
        case Length::kLongLong: return va_arg(*args, long long);
        case Length::kMax: return va_arg(*args, intmax_t);
        case Length::kSize: return static_cast<std::make_signed_t<size_t>>(va_arg(*args, size_t));
        case Length::kPtrdiff: return va_arg(*args, ptrdiff_t);
        case Length::kNone:
        case Length::kLongDouble: break;
    }
    return va_arg(*args, int);
}

// Reads one unsigned integer argument of the given length (never kLongDouble).
uint64_t ReadUnsigned(va_list* args, Length length) {
    switch (length) {
        case Length::kChar: return static_cast<unsigned char>(va_arg(*args, unsigned));
        case Length::kShort: return static_cast<unsigned short>(va_arg(*args, unsigned));
        case Length::kLong: return va_arg(*args, unsigned long);
        case Length::kLongLong: return va_arg(*args, unsigned long long);
        case Length::kMax: return va_arg(*args, uintmax_t);
        case Length::kSize: return va_arg(*args, size_t);
        case Length::kPtrdiff: return static_cast<std::make_unsigned_t<ptrdiff_t>>(va_arg(*args, ptrdiff_t));
        case Length::kNone:
        case Length::kLongDouble: break;
    }
    return va_arg(*args, unsigned);
}

// The characters of a %s argument that are printed: up to the precision, or all of them.
size_t TextLength(const char* text, int precision) {
    if (precision < 0) return std::strlen(text);
    size_t count = 0;
    while (count < static_cast<size_t>(precision) && text[count] != '\0') ++count;
    return count;
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

// --- Argument sources: where the walk takes each argument from. ---

// The arguments of the call itself.
struct CallArguments {
    va_list* args;

    int Int() { return va_arg(*args, int); }
    int Star() { return Int(); }
    int64_t Signed(Length length) { return ReadSigned(args, length); }
    uint64_t Unsigned(Length length) { return ReadUnsigned(args, length); }
    double Double() { return va_arg(*args, double); }
    // False for a null pointer, which vsnprintf formats.
    bool Text(int precision, const char*& text, size_t& count) {
        text = va_arg(*args, const char*);
        if (text == nullptr) return false;
        count = TextLength(text, precision);
        return true;
    }
    // Doubles are written here only in printf's default conditions: a "." decimal point and
    // rounding to nearest. A host that changes its numeric locale or the rounding direction gets
    // what its printf writes.
    bool FloatDefaults() { return platform::RoundsToNearest() && platform::DecimalPointIsDot(); }
};

// A captured call's arguments: one 8-byte slot per value, in the order the walk reads them, each as
// the 64-bit value the walk made of it; a string is its printed length followed by its first
// characters (at most the text limit), padded to the next slot.
constexpr size_t kSlot = 8;
constexpr size_t SlotsFor(size_t bytes) { return (bytes + kSlot - 1) / kSlot * kSlot; }

struct StoredArguments {
    const char* at;
    const char* end;
    size_t textLimit;

    uint64_t Slot() {
        uint64_t value = 0;
        if (end - at >= static_cast<ptrdiff_t>(kSlot)) {
            std::memcpy(&value, at, kSlot);
            at += kSlot;
        }
        return value;
    }
    int Int() { return static_cast<int>(static_cast<int64_t>(Slot())); }
    int Star() { return Int(); }
    int64_t Signed(Length) { return static_cast<int64_t>(Slot()); }
    uint64_t Unsigned(Length) { return Slot(); }
    double Double() {
        const uint64_t bits = Slot();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    bool Text(int, const char*& text, size_t& count) {
        count = static_cast<size_t>(Slot());
        text = at;
        const size_t stored = SlotsFor(count < textLimit ? count : textLimit);
        at += stored <= static_cast<size_t>(end - at) ? stored : static_cast<size_t>(end - at);
        return true;
    }
    bool FloatDefaults() { return true; }  // checked at the call
};

// The call's arguments, each stored as it is read (the capture's source). `fits` turns false when
// the store runs out of room.
struct CapturingArguments {
    CallArguments call;
    char* at;
    char* end;
    size_t textLimit;
    bool fits = true;
    int floatDefaults = -1;  // the call's conditions, read at the first double

    void Store(uint64_t value) {
        if (end - at < static_cast<ptrdiff_t>(kSlot)) {
            fits = false;
            return;
        }
        std::memcpy(at, &value, kSlot);
        at += kSlot;
    }
    int Int() {
        const int value = call.Int();
        Store(static_cast<uint64_t>(static_cast<int64_t>(value)));
        return value;
    }
    int Star() { return Int(); }
    int64_t Signed(Length length) {
        const int64_t value = call.Signed(length);
        Store(static_cast<uint64_t>(value));
        return value;
    }
    uint64_t Unsigned(Length length) {
        const uint64_t value = call.Unsigned(length);
        Store(value);
        return value;
    }
    double Double() {
        const double value = call.Double();
        uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        Store(bits);
        return value;
    }
    bool Text(int precision, const char*& text, size_t& count) {
        if (!call.Text(precision, text, count)) return false;
        Store(count);
        const size_t copied = count < textLimit ? count : textLimit;
        if (!fits || static_cast<size_t>(end - at) < SlotsFor(copied)) {
            fits = false;
            return true;
        }
        std::memcpy(at, text, copied);
        at += SlotsFor(copied);
        return true;
    }
    bool FloatDefaults() {
        if (floatDefaults < 0) floatDefaults = call.FloatDefaults() ? 1 : 0;
        return floatDefaults != 0;
    }
};

// --- Outputs: what the walk does with each converted value. ---

// Writes the text.
struct TextOutput {
    Sink sink;

    void Literal(const char* text, size_t count) { sink.Write(text, count); }
    void Percent() { sink.Put('%'); }
    bool Integer(const Field& field, uint64_t magnitude, bool negative, char conversion) {
        return EmitInteger(sink, field, magnitude, negative, conversion);
    }
    void Char(const Field& field, char c) { EmitPadded(sink, field, "", 0, 0, false, &c, 1); }
    void Text(const Field& field, const char* text, size_t count) {
        EmitPadded(sink, field, "", 0, 0, false, text, count);
    }
    bool Float(const Field& field, double value, char conversion) { return EmitFloat(sink, field, value, conversion); }
};

// Writes nothing: only answers, for each value, whether TextOutput would take it or hand the call to
// vsnprintf, so a captured call is known at the call to format later without the hand-over.
struct CheckOutput {
    void Literal(const char*, size_t) {}
    void Percent() {}
    bool Integer(const Field& field, uint64_t magnitude, bool, char conversion) {
        return !OctalZeroDiffers(field, magnitude, conversion);
    }
    void Char(const Field&, char) {}
    void Text(const Field&, const char*, size_t) {}
    bool Float(const Field& field, double value, char conversion) {
        if (IsNegativeNan(value)) return false;
        // Only %g with `#` or a width can refuse a finite value; it takes its digits to know.
        if ((conversion != 'g' && conversion != 'G') || !std::isfinite(value) || (!field.alt && field.width == 0)) {
            return true;
        }
        char body[kFloatBufferSize];
        return FormatGeneral(std::fabs(value), field, field.precision < 0 ? 6 : field.precision, conversion == 'G',
                             body) != 0;
    }
};

// The one walk over the format: parses each conversion, takes its arguments from `args` and hands
// the values to `out`; false as soon as a conversion needs vsnprintf.
template <typename Output, typename Arguments>
bool FormatInto(Output& out, const char* p, Arguments& args) {
    for (;;) {
        const char* literal = p;
        while (*p != '\0' && *p != '%') ++p;
        if (p != literal) out.Literal(literal, static_cast<size_t>(p - literal));
        if (*p == '\0') return true;
        ++p;
        if (*p == '%') {
            out.Percent();
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
            const int width = args.Star();
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
                const int precision = args.Star();
                if (precision > kMaxWidth) return false;
                field.precision = precision < 0 ? -1 : precision;
            } else if (!ReadNumber(p, field.precision)) {
                return false;
            }
        }
        Length length = Length::kNone;
        switch (*p) {
            case 'h':
                length = p[1] == 'h' ? Length::kChar : Length::kShort;
                p += p[1] == 'h' ? 2 : 1;
                break;
            case 'l':
                length = p[1] == 'l' ? Length::kLongLong : Length::kLong;
                p += p[1] == 'l' ? 2 : 1;
                break;
            case 'j':
                length = Length::kMax;
                ++p;
                break;
            case 'z':
                length = Length::kSize;
                ++p;
                break;
            case 't':
                length = Length::kPtrdiff;
                ++p;
                break;
            case 'L':
                length = Length::kLongDouble;
                ++p;
                break;
            default: break;
        }
        const char conversion = *p++;
        switch (conversion) {
            case 'd':
            case 'i': {
                if (field.alt || length == Length::kLongDouble) return false;
                const int64_t value = args.Signed(length);
                const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
                if (!out.Integer(field, magnitude, value < 0, conversion)) return false;
                break;
            }
            case 'u':
            case 'o':
            case 'x':
            case 'X': {
                if (field.plus || field.space || (field.alt && conversion == 'u') || length == Length::kLongDouble) {
                    return false;
                }
                if (!out.Integer(field, args.Unsigned(length), false, conversion)) return false;
                break;
            }
            case 'c': {
                if (length != Length::kNone || field.plus || field.space || field.alt || field.zero ||
                    field.precision >= 0) {
                    return false;
                }
                out.Char(field, static_cast<char>(args.Int()));
                break;
            }
            case 's': {
                if (length != Length::kNone || field.plus || field.space || field.alt || field.zero) return false;
                const char* text = nullptr;
                size_t count = 0;
                if (!args.Text(field.precision, text, count)) return false;
                out.Text(field, text, count);
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
                const double value = args.Double();
                if (!args.FloatDefaults() || !out.Float(field, value, conversion)) return false;
                break;
            }
            default: return false;
        }
    }
}

// Formats with `args` into `out`, always terminated; false when a conversion needs vsnprintf (the
// text so far is left in `out`).
template <typename Arguments>
bool FormatWith(char* out, size_t capacity, const char* format, Arguments& args, int& length) {
    TextOutput text{Sink{out, capacity == 0 ? 0 : capacity - 1}};
    const bool done = FormatInto(text, format, args);
    if (capacity != 0) out[text.sink.length < text.sink.limit ? text.sink.length : text.sink.limit] = '\0';
    length = static_cast<int>(text.sink.length);
    return done;
}

// --- The format cache: the argument kinds of recently captured formats, so that a repeated call
// stores its arguments without walking its format again. ---

// How the capture reads and stores one argument: a byte per argument, 0 after the last.
constexpr uint8_t kKindInt = 1;        // an int (%c), stored widened
constexpr uint8_t kKindDouble = 2;     // a double, stored as its bits
constexpr uint8_t kKindText = 3;       // a string without precision: its length, then its characters
constexpr uint8_t kKindSigned = 16;    // plus the Length: a signed integer as ReadSigned makes it
constexpr uint8_t kKindUnsigned = 32;  // plus the Length: an unsigned integer as ReadUnsigned makes it
constexpr size_t kKindWords = 2;
constexpr size_t kMaxCachedArguments = kKindWords * 8 - 1;
// Formats up to this size (with their NUL) are cached.
constexpr size_t kCachedFormatWords = 8;
constexpr size_t kMaxCachedFormatSize = kCachedFormatWords * 8;
constexpr unsigned kFormatCacheBits = 8;
constexpr size_t kFormatCacheEntries = size_t{1} << kFormatCacheBits;

// One cached format: its bytes and its argument kinds. Written by whichever capture learns a format
// at this entry; a reader takes the entry only when its sequence was even and unchanged around the
// reads (a sequence lock that no one waits on: a capture that finds the entry busy walks the format).
struct alignas(64) FormatCacheEntry {
    std::atomic<uint32_t> sequence{0};  // odd while being written
    std::atomic<uint32_t> size{0};      // the format's size with its NUL; 0: empty
    std::atomic<uint64_t> kinds[kKindWords] = {};
    std::atomic<uint64_t> words[kCachedFormatWords] = {};
};

FormatCacheEntry g_formatCache[kFormatCacheEntries];

// The pair of entries a format may sit in: chosen by its address, so that a call site finds its
// format at once, and two of them, so that two hot formats whose addresses meet here do not keep
// taking each other's place.
FormatCacheEntry* CacheEntriesFor(const char* format) {
    const uint64_t key = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(format)) * 0x9E3779B97F4A7C15ULL;
    return &g_formatCache[(key >> (64 - kFormatCacheBits)) & ~size_t{1}];
}

// Whether one of the pair of entries holds `format` (`size` bytes, NUL included, at most
// kMaxCachedFormatSize); if so its argument kinds are in `kinds`. Copies the entry's words into
// `out` as it compares them, so that a hit leaves the format there (the bytes after its NUL up to the
// next slot are zero); after a miss `out` holds some entry's bytes.
bool CopyIfCached(const FormatCacheEntry* pair, const char* format, size_t size, char* out,
                  uint8_t (&kinds)[kKindWords * 8]) {
    const size_t whole = size / kSlot;
    const size_t rest = size % kSlot;
    // The format's last bytes as a little-endian load of a copy padded with zero bytes reads them:
    // one load that ends at the format's end, shifted down past the bytes before them.
    uint64_t last = 0;
    if (rest != 0 && size >= kSlot) {
        std::memcpy(&last, format + size - kSlot, kSlot);
        last >>= 8 * (kSlot - rest);
    } else {
        for (size_t j = 0; j < rest; ++j) last |= uint64_t{static_cast<uint8_t>(format[whole * kSlot + j])} << (8 * j);
    }
    for (int e = 0; e < 2; ++e) {
        const FormatCacheEntry& entry = pair[e];
        const uint32_t before = entry.sequence.load(std::memory_order_acquire);
        if ((before & 1) != 0 || entry.size.load(std::memory_order_relaxed) != size) continue;
        // Compared a word at a time in registers: the entry's last word is zero past the format's end.
        uint64_t difference = 0;
        for (size_t i = 0; i < whole; ++i) {
            const uint64_t word = entry.words[i].load(std::memory_order_relaxed);
            uint64_t formatWord;
            std::memcpy(&formatWord, format + i * kSlot, kSlot);
            difference |= formatWord ^ word;
            std::memcpy(out + i * kSlot, &word, kSlot);
        }
        if (rest != 0) {
            const uint64_t word = entry.words[whole].load(std::memory_order_relaxed);
            difference |= last ^ word;
            std::memcpy(out + whole * kSlot, &word, kSlot);
        }
        uint64_t kindWords[kKindWords];
        for (size_t i = 0; i < kKindWords; ++i) kindWords[i] = entry.kinds[i].load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (entry.sequence.load(std::memory_order_relaxed) != before || difference != 0) continue;
        std::memcpy(kinds, kindWords, sizeof kindWords);
        return true;
    }
    return false;
}

// Copies `count` bytes, a short string's as a few fixed-size moves rather than a library call.
inline void CopyText(char* to, const char* from, size_t count) {
    if (count >= 8 && count <= 16) {
        std::memcpy(to, from, 8);
        std::memcpy(to + count - 8, from + count - 8, 8);
    } else if (count >= 4 && count < 8) {
        std::memcpy(to, from, 4);
        std::memcpy(to + count - 4, from + count - 4, 4);
    } else if (count < 4) {
        for (size_t i = 0; i < count; ++i) to[i] = from[i];
    } else {
        std::memcpy(to, from, count);
    }
}

// An argument source that notes how each argument is read instead of reading it; `cacheable` turns
// false for what the kinds cannot say: a `*` width or precision, a string precision, too many
// arguments.
struct KindArguments {
    uint8_t kinds[kKindWords * 8] = {};
    size_t count = 0;
    bool cacheable = true;

    void Add(uint8_t kind) {
        if (count < kMaxCachedArguments) {
            kinds[count++] = kind;
        } else {
            cacheable = false;
        }
    }
    int Int() {
        Add(kKindInt);
        return 0;
    }
    int Star() {
        cacheable = false;
        return 0;
    }
    int64_t Signed(Length length) {
        Add(static_cast<uint8_t>(kKindSigned + static_cast<uint8_t>(length)));
        return 0;
    }
    uint64_t Unsigned(Length length) {
        Add(static_cast<uint8_t>(kKindUnsigned + static_cast<uint8_t>(length)));
        return 0;
    }
    double Double() {
        Add(kKindDouble);
        return 0.0;
    }
    bool Text(int precision, const char*& text, size_t& count) {
        if (precision >= 0) cacheable = false;
        Add(kKindText);
        text = "";
        count = 0;
        return true;
    }
    bool FloatDefaults() { return true; }
};

// Goes with KindArguments: turns `cacheable` false for conversions whose hand-over to vsnprintf
// depends on the value (see CheckOutput), which the kinds cannot tell.
struct KindOutput {
    bool* cacheable;

    void Literal(const char*, size_t) {}
    void Percent() {}
    bool Integer(const Field& field, uint64_t, bool, char conversion) {
        if (field.alt && conversion == 'o' && field.precision == 0) *cacheable = false;
        return true;
    }
    void Char(const Field&, char) {}
    void Text(const Field&, const char*, size_t) {}
    bool Float(const Field& field, double, char conversion) {
        if ((conversion == 'g' || conversion == 'G') && (field.alt || field.width != 0)) *cacheable = false;
        return true;
    }
};

// Learns the argument kinds of a format that was just captured (its bytes at `copy`) into its entry,
// unless another capture is writing the entry just now.
void LearnKinds(FormatCacheEntry& entry, const char* copy, size_t size) {
    if (size > kMaxCachedFormatSize) return;
    KindArguments arguments;
    KindOutput output{&arguments.cacheable};
    if (!FormatInto(output, copy, arguments) || !arguments.cacheable) return;
    uint32_t sequence = entry.sequence.load(std::memory_order_relaxed);
    if ((sequence & 1) != 0 ||
        !entry.sequence.compare_exchange_strong(sequence, sequence + 1, std::memory_order_acq_rel)) {
        return;
    }
    std::atomic_thread_fence(std::memory_order_release);
    uint64_t words[kCachedFormatWords] = {};
    std::memcpy(words, copy, size);
    entry.size.store(static_cast<uint32_t>(size), std::memory_order_relaxed);
    for (size_t i = 0; i < kCachedFormatWords; ++i) entry.words[i].store(words[i], std::memory_order_relaxed);
    uint64_t kindWords[kKindWords];
    std::memcpy(kindWords, arguments.kinds, sizeof kindWords);
    for (size_t i = 0; i < kKindWords; ++i) entry.kinds[i].store(kindWords[i], std::memory_order_relaxed);
    entry.sequence.store(sequence + 2, std::memory_order_release);
}

// Stores the call's arguments by their cached kinds between `at` and `end`, laid out as
// CapturingArguments lays them out. False when the call needs the full walk: a null string, a
// negative NaN, a double outside printf's default conditions, or arguments that do not fit.
bool StoreByKinds(const uint8_t* kinds, char* at, char* const end, size_t textLimit, va_list* args) {
    bool floatDefaultsChecked = false;
    for (; *kinds != 0; ++kinds) {
        if (end - at < static_cast<ptrdiff_t>(kSlot)) return false;
        const uint8_t kind = *kinds;
        uint64_t value;
        if (kind == kKindText) {
            const char* text = va_arg(*args, const char*);
            if (text == nullptr) return false;
            const size_t count = std::strlen(text);
            value = count;
            std::memcpy(at, &value, kSlot);
            at += kSlot;
            const size_t copied = count < textLimit ? count : textLimit;
            if (static_cast<size_t>(end - at) < SlotsFor(copied)) return false;
            CopyText(at, text, copied);
            at += SlotsFor(copied);
            continue;
        }
        if (kind == kKindDouble) {
            const double real = va_arg(*args, double);
            if (IsNegativeNan(real)) return false;
            if (!floatDefaultsChecked) {
                if (!platform::RoundsToNearest() || !platform::DecimalPointIsDot()) return false;
                floatDefaultsChecked = true;
            }
            std::memcpy(&value, &real, sizeof value);
        } else if (kind == kKindSigned || kind == kKindInt) {
            // A plain int (%d, %i, %c), the most common argument, without the length dispatch.
            value = static_cast<uint64_t>(static_cast<int64_t>(va_arg(*args, int)));
        } else if (kind == kKindUnsigned) {
            value = va_arg(*args, unsigned);
        } else if (kind >= kKindUnsigned) {
            value = ReadUnsigned(args, static_cast<Length>(kind - kKindUnsigned));
        } else {
            value = static_cast<uint64_t>(ReadSigned(args, static_cast<Length>(kind - kKindSigned)));
        }
        std::memcpy(at, &value, kSlot);
        at += kSlot;
    }
    return true;
}

}  // namespace

bool TryFormatMessageText(char* out, size_t capacity, const char* format, va_list args, int& length) {
    va_list work;
    va_copy(work, args);
    CallArguments call{&work};
    const bool done = FormatWith(out, capacity, format, call, length);
    va_end(work);
    return done;
}

int FormatMessageText(char* out, size_t capacity, const char* format, va_list args) {
    int length = 0;
    if (TryFormatMessageText(out, capacity, format, args, length)) return length;
    return std::vsnprintf(out, capacity, format, args);
}

namespace {

// The capture's full walk over the format, which is in `out` already (`formatSize` bytes with its
// NUL); learns the format's argument kinds into its pair of entries unless it is `known` there. Kept
// out of CaptureMessage, so that a call whose format is cached does not set up this walk's frame.
[[gnu::noinline]] bool CaptureByWalk(char* out, size_t capacity, size_t formatSize, va_list args,
                                     FormatCacheEntry* pair, bool known) {
    char* const arguments = out + SlotsFor(formatSize);
    char* const end = out + capacity;
    va_list work;
    va_copy(work, args);
    CapturingArguments capture{CallArguments{&work}, arguments, end, capacity - 1};
    CheckOutput check;
    const bool formattable = capture.at <= capture.end && FormatInto(check, out, capture);
    va_end(work);
    const bool captured = formattable && capture.fits;
    // Learnt into an empty entry of the pair, else into the second: the first keeps the format
    // that came first.
    if (captured && !known) {
        const bool firstEmpty = pair[0].size.load(std::memory_order_relaxed) == 0;
        LearnKinds(pair[firstEmpty ? 0 : 1], out, formatSize);
    }
    return captured;
}

}  // namespace

bool CaptureMessage(char* out, size_t capacity, const char* format, va_list args) {
    const size_t formatSize = std::strlen(format) + 1;
    if (capacity < kSlot || formatSize > capacity - 1) return false;
    // A format seen before at this address (and with these bytes) is copied as it is compared, and
    // skips the walk.
    FormatCacheEntry* const pair = CacheEntriesFor(format);
    uint8_t kinds[kKindWords * 8];
    const bool known = formatSize <= kMaxCachedFormatSize && SlotsFor(formatSize) <= capacity &&
                       CopyIfCached(pair, format, formatSize, out, kinds);
    if (known) {
        va_list work;
        va_copy(work, args);
        const bool stored = StoreByKinds(kinds, out + SlotsFor(formatSize), out + capacity, capacity - 1, &work);
        va_end(work);
        if (stored) return true;
    } else {
        std::memcpy(out, format, formatSize);
    }
    return CaptureByWalk(out, capacity, formatSize, args, pair, known);
}

int FormatCapturedMessage(char* out, size_t capacity, const char* captured, size_t capturedSize) {
    const void* end = std::memchr(captured, '\0', capturedSize);
    const size_t formatSize =
        end == nullptr ? capturedSize : static_cast<size_t>(static_cast<const char*>(end) - captured) + 1;
    if (capturedSize < kSlot || formatSize > capturedSize - 1) {
        if (capacity != 0) out[0] = '\0';
        return 0;
    }
    StoredArguments stored{captured + SlotsFor(formatSize), captured + capturedSize, capturedSize - 1};
    int length = 0;
    // The capture walked the same format with the same values and found no hand-over, so this
    // walk finds none either.
    FormatWith(out, capacity, captured, stored, length);
    return length;
}

}  // namespace vextrel
