// The writer's line format, checked against the printf formats that define it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "core/record_queue.h"
#include "core/trace_entry.h"
#include "output/line_format.h"

using namespace vextrel;

namespace {

// The line as the printf formats of each variant make it.
std::string ReferenceLine(const TraceRecord& record, bool configQuiet, const TimeBase& timeBase) {
    char line[kLineCapacity * 2];
    if (configQuiet || record.quiet) {
        std::snprintf(line, sizeof line, "%s\n", record.text);
    } else {
        uint64_t time = record.timestamp;
        uint64_t elapsed = record.startTimestamp != 0 ? time - record.startTimestamp : 0;
        if (!timeBase.clockCallbackInstalled) {
            time = TicksToMicroseconds(time, timeBase.counterFrequency);
            if (elapsed != 0) elapsed = TicksToMicroseconds(elapsed, timeBase.counterFrequency);
        }
        char head[96], tail[32] = "";
        std::snprintf(head, sizeof head, "%llu.%06llu,%05lx,%04lx", static_cast<unsigned long long>(time / 1000000u),
                      static_cast<unsigned long long>(time % 1000000u), static_cast<unsigned long>(record.threadId),
                      static_cast<unsigned long>(record.facilityId));
        if (record.startTimestamp != 0)
            std::snprintf(tail, sizeof tail, " (%llu us)", static_cast<unsigned long long>(elapsed));
        std::snprintf(line, sizeof line, "%s%s%s: %s%s\n", head, record.name[0] != '\0' ? ",nm=" : "", record.name,
                      record.text, tail);
    }
    return std::string(line).substr(0, kLineCapacity - 1);
}

std::string Formatted(const TraceRecord& record, bool configQuiet, const TimeBase& timeBase) {
    char line[kLineCapacity];
    std::memset(line, 'X', sizeof line);
    const int length = FormatRecordLine(record, configQuiet, timeBase, line);
    EXPECT_EQ(line[length], '\0');
    return std::string(line, static_cast<size_t>(length));
}

template <size_t N>
void SetText(char (&field)[N], const std::string& text) {
    std::snprintf(field, N, "%s", text.c_str());
}

}  // namespace

TEST(LineFormat, KnownLines) {
    const struct {
        uint64_t timestamp, start;
        const char* name;
        bool quiet, configQuiet;
        TimeBase base;
        const char* line;
    } cases[] = {
        {12345678, 0, "", false, false, {true, 1.0}, "12.345678,01a2b,0012: hello\n"},
        {999999, 999000, "mix", false, false, {true, 1.0}, "0.999999,01a2b,0012,nm=mix: hello (999 us)\n"},
        {999999, 999000, "mix", true, false, {true, 1.0}, "hello\n"},
        {25000000, 0, "", false, false, {false, 10000000.0}, "2.500000,01a2b,0012: hello\n"},  // 2.5 s at 10 MHz
        // Stamp and elapsed ticks are converted each on its own: 11 ticks at 3 per second are 3666666 us.
        {15, 4, "", false, false, {false, 3.0}, "5.000000,01a2b,0012: hello (3666666 us)\n"},
        // A stamp too large for microseconds at an unprobed frequency of 1 saturates.
        {~0ull, 0, "", false, false, {false, 1.0}, "18446744073709.551615,01a2b,0012: hello\n"}};
    for (const auto& c : cases) {
        TraceRecord record;
        record.threadId = 6699;
        record.facilityId = 18;
        record.timestamp = c.timestamp;
        record.startTimestamp = c.start;
        record.quiet = c.quiet;
        SetText(record.text, "hello");
        SetText(record.name, c.name);
        EXPECT_EQ(Formatted(record, c.configQuiet, c.base), c.line);
    }
}

// Every variant of the line, with extreme and random field values, equals the printf formats.
TEST(LineFormat, MatchesThePrintfFormatsForAnyRecord) {
    std::mt19937_64 random(12345);
    const uint64_t timestamps[] = {0, 1, 999999, 1000000, 1000001, 0xFFFFFFFFull, 0x7FFFFFFFFFFFFFFFull, ~0ull};
    const uint32_t ids[] = {0, 1, 0xF, 0x10, 0xFFFF, 0x10000, 0xFFFFF, 0x100000, 0xFFFFFFFFu};
    const std::string texts[] = {"", "100% %s %d \\ \"", std::string(511, 'x')};
    const std::string names[] = {"", "n", std::string(31, 'N')};
    const TimeBase bases[] = {{true, 1.0}, {false, 1e9}, {false, 1e7}, {false, 3e6}};
    for (int round = 0; round < 4000; ++round) {
        TraceRecord record;
        const bool extreme = round % 2 == 0;
        record.timestamp = extreme ? timestamps[random() % 8] : random() >> (random() % 64);
        record.startTimestamp = random() % 3 == 0 ? 0
                                : extreme         ? timestamps[random() % 8]
                                                  : record.timestamp - random() % 5000000;
        record.threadId = extreme ? ids[random() % 9] : static_cast<uint32_t>(random());
        record.facilityId = extreme ? ids[random() % 9] : static_cast<uint32_t>(random() % 20480);
        record.quiet = random() % 8 == 0;
        SetText(record.text, texts[random() % 3]);
        SetText(record.name, names[random() % 3]);
        const bool configQuiet = random() % 8 == 0;
        const TimeBase& base = bases[random() % 4];
        ASSERT_EQ(Formatted(record, configQuiet, base), ReferenceLine(record, configQuiet, base))
            << "round " << round << " timestamp " << record.timestamp << " start " << record.startTimestamp;
    }
}

// A record whose fields are not terminated never makes the writer read or write past them.
TEST(LineFormat, UnterminatedFieldsStayWithinTheirBuffers) {
    TraceRecord record;
    std::memset(record.name, 'n', sizeof record.name);
    std::memset(record.text, 't', sizeof record.text);
    record.startTimestamp = 1;
    record.timestamp = ~0ull;
    char line[kLineCapacity];
    const int length = FormatRecordLine(record, false, TimeBase{true, 1.0}, line);
    const std::string text(line, static_cast<size_t>(length));
    EXPECT_EQ(text.find(std::string(sizeof record.name, 'n') + ": " + std::string(sizeof record.text, 't') + " ("),
              text.find(",nm=") + 4);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_LT(length, static_cast<int>(kLineCapacity));
}
