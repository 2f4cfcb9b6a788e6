#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/facility.h"
#include "core/record_queue.h"
#include "core/trace_config.h"
#include "core/trace_entry.h"
#include "include/vextrel.h"
#include "platform/clock.h"
#include "support/core_fixture.h"
#include "support/record_queue_peer.h"

using namespace vextrel;
using namespace vextrel::testing;

namespace {

constexpr uint32_t kFacility = 77;

std::atomic<uint32_t> g_clockCalls{0};
uint64_t CountingClock() { return 1000 + g_clockCalls.fetch_add(1); }

// The record's flags, thread, facility, name and text in one line.
std::string Describe(const RecordCopy& r) {
    return std::string(r.toFile ? "F" : "-") + (r.toConsole ? "C" : "-") + (r.toClient ? "L" : "-") +
           (r.quiet ? "Q" : "-") + " " + std::to_string(r.threadId == platform::CurrentThreadId()) + " " +
           std::to_string(r.facilityId) + " [" + r.name + "] " + r.text;
}

}  // namespace

TEST(TraceEntry, PriorityFieldsNamesAndCutTexts) {
    PublishedManager manager;
    TraceConfig* config = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    TraceConfig* low = manager.AddUndrainedConfig(kFacility, VXP_LOW);
    config->console.SetFacilityPriority(kFacility, VXP_HIGH);
    config->name.Set("a name that is longer than thirty-one characters");
    VextrelFormat(kFacility, "zero byte %d", 1);  // priority byte zero: only the lowest level takes it
    VextrelFormatQuiet(VXF_WORD(kFacility, VXP_LOW), "%s=%d", "value", 5);
    VextrelFormat(0xFFFFFFFFu, "all bits set, beyond the table");
    VextrelSetNameFunc("renamed");
    VextrelFormat(VXF_WORD(kFacility, VXP_URGENT), nullptr);
    VextrelFormat(kFacility, "%s", std::string(600, 'x').c_str());
    const std::vector<RecordCopy> records = TakeCopies(*config->Queue());
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(Describe(records[0]), "F--- 1 77 [a name that is longer than thir] zero byte 1");
    EXPECT_EQ(Describe(records[1]), "F--Q 1 77 [a name that is longer than thir] value=5");
    EXPECT_EQ(Describe(records[2]), "FC-- 1 77 [renamed] ");
    EXPECT_EQ(records[3].text, std::string(511, 'x'));
    EXPECT_EQ(TakeRecords(*low->Queue()), (std::vector<std::string>{"value=5", ""}));
}

TEST(TraceEntry, OneTimestampPerCallStartStampsAndTheHostClock) {
    uint64_t stamp = 0;
    VextrelFormatTimestamp(&stamp, kFacility, "no manager yet");
    EXPECT_NE(stamp, 0u);  // set even when nothing is traced
    PublishedManager manager;
    TraceConfig* first = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    TraceConfig* second = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    stamp = 0;
    const uint64_t before = platform::ReadCounter();
    VextrelFormatTimestamp(&stamp, kFacility, "first");
    const uint64_t started = stamp;
    VextrelPuts(kFacility, "put");
    VextrelFormatTimestamp(&stamp, kFacility, "second");
    const uint64_t after = platform::ReadCounter();
    EXPECT_EQ(stamp, started);
    std::vector<RecordCopy> one = TakeCopies(*first->Queue());
    const std::vector<RecordCopy> two = TakeCopies(*second->Queue());
    ASSERT_EQ(one.size(), 3u);
    ASSERT_EQ(two.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(two[i].timestamp, one[i].timestamp);
    EXPECT_LE(before, started);
    EXPECT_EQ(one[0].timestamp, started);
    EXPECT_LE(one[1].timestamp, one[2].timestamp);
    EXPECT_LE(one[2].timestamp, after);
    EXPECT_EQ(one[0].startTimestamp, 0u);
    EXPECT_EQ(one[2].startTimestamp, started);

    // The host clock is called once for every call, filtered out or not, but not by VextrelGetTimestamp.
    VextrelSetClockCallbackFunc(&CountingClock);
    g_clockCalls = 0;
    VextrelFormat(kFacility + 1, "filtered out");
    VextrelPuts(kFacility + 1, "filtered out");
    EXPECT_EQ(g_clockCalls.load(), 2u);
    VextrelFormat(kFacility, "accepted");
    VextrelGetTimestamp();
    EXPECT_EQ(g_clockCalls.load(), 3u);
    VextrelSetClockCallbackFunc(nullptr);
    one = TakeCopies(*first->Queue());
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].timestamp, 1002u);
}

TEST(TraceEntry, AFullRingStopsTheFormattedPathButNotThePlainText) {
    VextrelFormat(kFacility, "no manager");
    VextrelPuts(kFacility, "no manager");
    PublishedManager manager;
    TraceConfig* full = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    TraceConfig* second = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    RecordQueue& queue = *full->Queue();
    while (TraceRecord* record = ReserveRecord(*full)) queue.Commit(record);
    EXPECT_EQ(RecordQueuePeer::LostCount(queue), 1u);
    // The formatted path gives up on every later configuration; the plain-text path goes on.
    VextrelFormat(kFacility, "dropped");
    EXPECT_EQ(RecordQueuePeer::LostCount(queue), 2u);
    EXPECT_TRUE(TakeRecords(*second->Queue()).empty());
    const std::string text = std::string(100, 'a') + "\n" + std::string(600, 'b');
    VextrelPuts(kFacility, text.c_str());
    EXPECT_EQ(RecordQueuePeer::LostCount(queue), 3u);
    const std::vector<std::string> records = TakeRecords(*second->Queue());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0] + "\n" + records[1] + records[2], text);
}

TEST(PutsEntry, SplitsAtNewlinesThenLateBlanksThenTheLimit) {
    PublishedManager manager;
    TraceConfig* config = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    // Puts `length` x's with the given characters placed, and returns the lengths and quiet flags of the pieces.
    auto pieces = [&](size_t length, std::vector<std::pair<size_t, char>> placed) {
        std::string text(length, 'x');
        for (auto [at, c] : placed) text[at] = c;
        VextrelPuts(kFacility, text.c_str());
        std::string result;
        for (const RecordCopy& record : TakeCopies(*config->Queue()))
            result += std::to_string(record.text.size()) + (record.quiet ? "q " : " ");
        return result;
    };
    EXPECT_EQ(pieces(511, {}), "511 ");
    EXPECT_EQ(pieces(512, {}), "511 1q ");
    EXPECT_EQ(pieces(1000, {{100, '\n'}, {600, '\n'}}), "100 499q 399q ");
    EXPECT_EQ(pieces(700, {{495, ' '}, {480, ' '}}), "495 204q ");  // the last late blank breaks
    EXPECT_EQ(pieces(700, {{489, ' '}}), "511 189q ");              // too early to be a break
    EXPECT_EQ(pieces(0, {}), "0 ");
    VextrelPuts(kFacility, nullptr);
    EXPECT_EQ(TakeRecords(*config->Queue()), (std::vector<std::string>{""}));
}

TEST(TraceEntry, HandlersSkipOrProduceTheText) {
    PublishedManager manager;
    TraceConfig* config = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    config->RegisterHandler(VXF_WORD(kFacility, VXP_HIGH), nullptr);
    VextrelFormat(VXF_WORD(kFacility, VXP_HIGH), "skipped: the entry's flag is clear");
    VextrelFormat(VXF_WORD(kFacility, VXP_URGENT), "another word passes");
    EXPECT_EQ(TakeRecords(*config->Queue()), (std::vector<std::string>{"another word passes"}));

    // With its flag set, the entry's function writes the text.
    config->RegisterHandler(VXF_WORD(kFacility, VXP_NORMAL), [](uint32_t word, char* text, uint32_t capacity,
                                                                const char* format, va_list args) {
        std::snprintf(text, capacity, "handled %08X %s: %d", static_cast<unsigned>(word), format, va_arg(args, int));
    });
    const_cast<HandlerTable*>(config->Handlers())->entries[0].flags[0] = 1;
    VextrelFormat(VXF_WORD(kFacility, VXP_NORMAL), "%d", 7);
    EXPECT_EQ(TakeRecords(*config->Queue()), (std::vector<std::string>{"handled 0400004D %d: 7"}));
}

TEST(TraceEntry, CapturedCallsKeepWhatTheHostReusesAfterTheCall) {
    PublishedManager manager;
    TraceConfig* config = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    char format[32] = "value=%d name=%s elapsed=%.3f";
    char name[8] = "mixer";
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    VextrelFormat(kFacility, format, 5, name, 1.5);
#pragma GCC diagnostic pop
    EXPECT_EQ(RecordQueuePeer::NextReadyFlag(*config->Queue()), kRecordCaptured);
    // A plug-in's format may be gone and its buffers reused by the time the writer formats.
    std::memset(format, '%', sizeof format - 1);
    std::strcpy(name, "other");
    EXPECT_EQ(TakeRecords(*config->Queue()), (std::vector<std::string>{"value=5 name=mixer elapsed=1.500"}));
}

// Which calls the formatter refuses to capture (pointers, another rounding direction, ...) is
// checked in the formatter's tests; here a refused call is formatted in the calling thread.
TEST(TraceEntry, ACallThatCannotBeCapturedIsFormattedAtOnce) {
    PublishedManager manager;
    TraceConfig* config = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    // Arguments that do not fit the record beside the format.
    const std::string longText(500, 'y');
    VextrelFormat(kFacility, "%s|%d", longText.c_str(), 12);
    EXPECT_EQ(RecordQueuePeer::NextReadyFlag(*config->Queue()), kRecordText);
    EXPECT_EQ(TakeRecords(*config->Queue()), std::vector<std::string>{longText + "|12"});
}
