// The trace formatter against this platform's vsnprintf, in the same run: the cases that break
// formatters, each compared byte for byte over the whole buffer, and whether it was formatted
// natively or handed over.
#include <gtest/gtest.h>

#include <cfenv>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz/format_diff_case.h"

namespace vextrel {
namespace {

#pragma GCC diagnostic ignored "-Wformat-nonliteral"  // the formats come from the tables

bool TryFormat(char* out, size_t capacity, int& length, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const bool native = TryFormatMessageText(out, capacity, format, args, length);
    va_end(args);
    return native;
}

// Expects FormatMessageText to write what vsnprintf writes, and to do so itself when `native` is 1,
// to hand the call over when it is 0; expects the call to be captured exactly when it is formatted
// natively, and a capture formatted later to write what vsnprintf wrote.
template <typename... Values>
void ExpectSame(int native, size_t capacity, const char* format, Values... values) {
    char ours[600], theirs[600];
    std::memset(ours, 0x5A, sizeof ours);
    std::memset(theirs, 0x5A, sizeof theirs);
    const int oursLength = fuzz::Ours(ours, capacity, format, values...);
    const int theirsLength = fuzz::Theirs(theirs, capacity, format, values...);
    EXPECT_EQ(oursLength, theirsLength) << format;
    EXPECT_EQ(std::string(ours, sizeof ours), std::string(theirs, sizeof theirs)) << format << " capacity " << capacity;
    int length = 0;
    EXPECT_EQ(TryFormat(ours, capacity, length, format, values...), native != 0) << format;
    char later[600];
    std::memset(later, 0x5A, sizeof later);
    int laterLength = 0;
    const bool captured = fuzz::Later(later, capacity, laterLength, format, values...);
    EXPECT_EQ(captured, native != 0) << format;
    if (!captured) return;
    EXPECT_EQ(laterLength, theirsLength) << format;
    EXPECT_EQ(std::string(later, sizeof later), std::string(theirs, sizeof theirs))
        << format << " capacity " << capacity;
}

TEST(MessageFormatterTest, IntegersWithEveryFlagWidthPrecisionAndLength) {
    const struct {
        const char* format;
        int value;
    } ints[] = {{"%d", INT_MIN},
                {"%i|%5i", INT_MAX},
                {"%.0d|%5.0d|%.0x", 0},
                {"%#x|%#o|%#X|%#5o", 0},
                {"%#x|%#X|%#o|%#.3o|%#08x", 255},
                {"%+ d|% d|%+d|% 5d", 5},
                {"%+d|% d|%+.0d", 0},
                {"%-08d|%08d|%08.3d|%-+6d|%+06d", -42},
                {"%hhd|%hhu|%hhx|%hd|%hu", 200},
                {"%hd|%hu|%ho", 70000},
                {"%x|%X|%o|%u|%10.4x", -1},
                {"%c|%-3c|%3c", 'A'},
                {"%600d", 12345},
                {"%-600d|", -7}};
    for (const auto& c : ints) ExpectSame(true, 512, c.format, c.value, c.value, c.value, c.value, c.value);
    ExpectSame(true, 512, "%lld|%llx|%llo|%20lli", LLONG_MIN, LLONG_MIN, LLONG_MIN, LLONG_MIN);
    ExpectSame(true, 512, "%llu|%016llX|%lu|%lx", ULLONG_MAX, 0xDEADBEEFULL, ULONG_MAX, LONG_MIN);
    ExpectSame(true, 512, "%jd|%ju|%zd|%zu|%td|%tx", INTMAX_MIN, UINTMAX_MAX, SIZE_MAX, SIZE_MAX, PTRDIFF_MIN,
               PTRDIFF_MAX);
    ExpectSame(true, 512, "[%*d] [%-*d] [%*d] [%.*d] [%.*d]", 6, 42, 6, 42, -6, 42, 4, 42, -4, 42);
    ExpectSame(true, 512, "%s=%d %5s|%-5s|%.2s|%8.3s|%.0s%%", "k", 1, "ab", "ab", "abc", "abcdef", "gone");
}

TEST(MessageFormatterTest, FloatsRoundExactlyInEveryForm) {
    const double values[] = {0.0,       -0.0,    0.125,      0.375,   0.5,     1.5,         2.5,         2.675,
                             1e-5,      1e-4,    9.9999e-5,  0.1,     1.0 / 3, 3.14159,     123456789.0, 999999.4,
                             9.9999995, 6.02e23, 1e308,      DBL_MAX, DBL_MIN, DBL_MIN / 3, 5e-324,      INFINITY,
                             -INFINITY, NAN,     -1234.5675, 1e22,    2e-3};
    // Every other combination of flags, widths and precisions meets these values in format_diff_check.
    for (double v : values) {
        ExpectSame(!std::isnan(v) || !std::signbit(v), 512, "%f|%.3f|%e|%.2e|%g|%.17g|%12.3f|%-+10.2e|%#.0f", v, v, v,
                   v, v, v, v, v, v);
    }
}

TEST(MessageFormatterTest, CutsAtTheBufferLikeVsnprintf) {
    for (size_t capacity : {size_t{0}, size_t{1}, size_t{2}, size_t{7}, size_t{512}}) {
        ExpectSame(true, capacity, "%500s%d|%x", "", 123456789, 0xabcdef);
        ExpectSame(true, capacity, "%505s%.3f %e", "", -1234.5678, 6.02e23);
        ExpectSame(true, capacity, "%506s%s%c%%", "", "tail", '!');
        ExpectSame(true, capacity, "%-700s|%700d", "x", 1);
    }
}

TEST(MessageFormatterTest, HandsOverWhatItDoesNotFormatItself) {
    int dummy = 0;
    ExpectSame(false, 512, "%p", static_cast<void*>(&dummy));
    ExpectSame(false, 512, "%a|%A", 1.5, -0.1);
    ExpectSame(false, 512, "%ls", L"wide");
    ExpectSame(false, 512, "%s", static_cast<const char*>(nullptr));
    ExpectSame(false, 512, "%2$d %1$d", 1, 2);
    ExpectSame(false, 512, "%Lf", 1.5L);
    ExpectSame(false, 512, "%.401f", 0.1);
    ExpectSame(false, 512, "%#.0o", 0);
    ExpectSame(false, 512, "%f", -NAN);
    ExpectSame(false, 512, "%#g|%#.3g", 999999.5, 999.5);
    ExpectSame(false, 512, "%10g", 1e5);
    ExpectSame(false, 512, "%d %5%", 1);
    ExpectSame(false, 512, "%d%k", 1);
    // Another rounding direction or a decimal comma: doubles are as the host's printf writes them.
    std::fesetround(FE_UPWARD);
    ExpectSame(false, 512, "%.2f|%e|%g", 2.675, 1.0 / 3, 0.1);
    std::fesetround(FE_TONEAREST);
    // One of the two rounding controls set alone: each C library follows one of them.
    unsigned short x87Nearest = 0;
    __asm__ volatile("fnstcw %0" : "=m"(x87Nearest));
    const unsigned short x87Upward = static_cast<unsigned short>((x87Nearest & ~0x0C00u) | 0x0800u);
    __asm__ volatile("fldcw %0" : : "m"(x87Upward));
    ExpectSame(false, 512, "%.1f|%.2f", 0.25, 2.675);
    __asm__ volatile("fldcw %0" : : "m"(x87Nearest));
    const unsigned int sseNearest = __builtin_ia32_stmxcsr();
    __builtin_ia32_ldmxcsr((sseNearest & ~0x6000u) | 0x4000u);
    ExpectSame(false, 512, "%.1f|%.2f", 0.25, 2.675);
    __builtin_ia32_ldmxcsr(sseNearest);
    for (const char* commaLocale : {"de_DE.UTF-8", "German_Germany.1252"}) {
        if (std::setlocale(LC_NUMERIC, commaLocale) == nullptr) continue;
        ExpectSame(false, 512, "%.3f", 1.5);
        std::setlocale(LC_NUMERIC, "C");
    }
}

// A call site that traces again stores its arguments by what the first call learnt of its format;
// the values and the caller's conditions still decide, and a format rewritten in place is not
// taken for the one learnt at its address.
TEST(MessageFormatterTest, ALearntFormatStillFollowsItsValuesAndItsBytes) {
    ExpectSame(true, 512, "%s|%.2f", "x", 1.5);
    ExpectSame(false, 512, "%s|%.2f", static_cast<const char*>(nullptr), 1.5);
    ExpectSame(false, 512, "%s|%.2f", "x", -NAN);
    std::fesetround(FE_UPWARD);
    ExpectSame(false, 512, "%s|%.2f", "x", 2.675);
    std::fesetround(FE_TONEAREST);
    char format[16] = "%d items";
    ExpectSame(true, 512, format, 7);
    std::memcpy(format, "%s", 2);
    ExpectSame(true, 512, format, "seven");
}

}  // namespace
}  // namespace vextrel
