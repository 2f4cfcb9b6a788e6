#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "core/facility.h"
#include "core/record_queue.h"
#include "core/trace_config.h"
#include "core/trace_entry.h"
#include "include/vextrel.h"
#include "platform/clock.h"
#include "support/core_fixture.h"

using namespace vextrel;
using vextrel::testing::PublishedManager;
using vextrel::testing::RecordCopy;
using vextrel::testing::TakeRecords;

namespace {

constexpr uint32_t kFacility = 77;

std::string Repeat(char c, size_t n) { return std::string(n, c); }

uint64_t FixedClock() { return 4242; }

std::atomic<uint32_t> g_clockCalls{0};
uint64_t CountingClock() { return 1000 + g_clockCalls.fetch_add(1); }

}  // namespace

TEST(TraceEntry, PriorityByteZeroIsTracedOnlyAtTheLowestLevel) {
    PublishedManager manager;
    TraceConfig* lowest = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    TraceConfig* low = manager.AddUndrainedConfig(kFacility, VXP_LOW);
    VextrelFormat(kFacility, "zero byte %d", 1);
    VextrelFormat(VXF_WORD(kFacility, VXP_LOW), "low %d", 2);
    VextrelFormat(VXF_WORD(20480, VXP_URGENT), "beyond the table");
    VextrelFormat(0xFFFFFFFFu, "all bits set");
    EXPECT_EQ(TakeRecords(*lowest->Queue()), (std::vector<std::string>{"zero byte 1", "low 2"}));
    EXPECT_EQ(TakeRecords(*low->Queue()), (std::vector<std::string>{"low 2"}));
}

TEST(TraceEntry, RecordsCarryTheCallersFieldsAndACutText) {
    PublishedManager manager;
    TraceConfig* config = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    config->console.SetFacilityPriority(kFacility, VXP_HIGH);
    config->name.Set("a name that is longer than thirty-one characters");
    VextrelFormatQuiet(VXF_WORD(kFacility, VXP_NORMAL), "%s=%d", "value", 5);
    VextrelSetNameFunc("renamed");
    VextrelFormat(VXF_WORD(kFacility, VXP_URGENT), nullptr);
    VextrelFormat(kFacility, "%s", Repeat('x', 600).c_str());
    std::vector<RecordCopy> records;
    TakeRecords(*config->Queue(), &records);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[2].text, Repeat('x', 511));  // long messages are cut
    EXPECT_EQ(records[0].text, "value=5");
    EXPECT_TRUE(records[0].quiet);
    EXPECT_TRUE(records[0].toFile);
    EXPECT_FALSE(records[0].toConsole);
    EXPECT_FALSE(records[0].toClient);
    EXPECT_EQ(records[0].facilityId, kFacility);
    EXPECT_EQ(records[0].threadId, platform::CurrentThreadId());
    EXPECT_EQ(records[0].name, "a name that is longer than thir");
    EXPECT_EQ(records[1].text, "");  // a null format is an empty text
    EXPECT_TRUE(records[1].toConsole);
    EXPECT_FALSE(records[1].quiet);
    EXPECT_EQ(records[1].name, "renamed");
    config->name.Set(nullptr);
    EXPECT_TRUE(config->name.IsEmpty());
}

TEST(TraceEntry, StartStampsAndTheHostClock) {
    uint64_t stamp = 0;
    VextrelFormatTimestamp(&stamp, kFacility, "no manager yet");
    EXPECT_NE(stamp, 0u);  // set even when nothing is traced

    PublishedManager manager;
    TraceConfig* config = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    stamp = 0;
    VextrelFormatTimestamp(&stamp, kFacility, "first");
    const uint64_t first = stamp;
    VextrelFormatTimestamp(&stamp, kFacility, "second");
    EXPECT_EQ(stamp, first);
    VextrelSetClockCallbackFunc(&FixedClock);
    const uint64_t now = VextrelGetTimestamp();
    VextrelSetClockCallbackFunc(nullptr);
    EXPECT_NE(now, 4242u);  // the host clock is not used for VextrelGetTimestamp

    std::vector<RecordCopy> records;
    TakeRecords(*config->Queue(), &records);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].startTimestamp, 0u);
    EXPECT_EQ(records[0].timestamp, first);
    EXPECT_EQ(records[1].startTimestamp, first);
    EXPECT_GE(records[1].timestamp, first);
}

TEST(TraceEntry, FullRingAcceptsCapacityMinusThree) {
    PublishedManager manager;
    TraceConfig* full = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    TraceConfig* second = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    RecordQueue& queue = *full->Queue();
    for (int i = 0; i < 4093; ++i) {
        TraceRecord* record = ReserveRecord(*full);
        ASSERT_NE(record, nullptr) << i;
        queue.Commit(record);
    }
    EXPECT_EQ(ReserveRecord(*full), nullptr);
    EXPECT_EQ(queue.lostCount.Load(), 1u);

    // The formatted path gives up on every later configuration; the plain-text path goes on.
    VextrelFormat(kFacility, "dropped");
    EXPECT_EQ(queue.lostCount.Load(), 2u);
    EXPECT_TRUE(TakeRecords(*second->Queue()).empty());
    const std::string text = Repeat('a', 100) + "\n" + Repeat('b', 600);
    VextrelPuts(kFacility, text.c_str());
    EXPECT_EQ(queue.lostCount.Load(), 3u);
    const std::vector<std::string> records = TakeRecords(*second->Queue());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0] + "\n" + records[1] + records[2], text);
}

TEST(PutsEntry, SplitsAtNewlinesThenLateBlanksThenTheLimit) {
    PublishedManager manager;
    TraceConfig* config = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    auto lengths = [&](const std::string& text, std::vector<bool>* quiet = nullptr) {
        VextrelPuts(kFacility, text.c_str());
        std::vector<RecordCopy> records;
        TakeRecords(*config->Queue(), &records);
        std::vector<size_t> result;
        for (const RecordCopy& record : records) {
            result.push_back(record.text.size());
            if (quiet != nullptr) quiet->push_back(record.quiet != 0);
        }
        return result;
    };
    EXPECT_EQ(lengths(Repeat('x', 511)), (std::vector<size_t>{511}));
    std::vector<bool> quiet;
    EXPECT_EQ(lengths(Repeat('x', 512), &quiet), (std::vector<size_t>{511, 1}));
    EXPECT_EQ(quiet, (std::vector<bool>{false, true}));
    std::string withNewlines = Repeat('x', 1000);
    withNewlines[100] = '\n';
    withNewlines[600] = '\n';
    EXPECT_EQ(lengths(withNewlines), (std::vector<size_t>{100, 499, 399}));
    std::string withBlanks = Repeat('x', 700);
    withBlanks[495] = ' ';
    withBlanks[480] = ' ';  // too early to be a break
    EXPECT_EQ(lengths(withBlanks), (std::vector<size_t>{495, 204}));
    std::string earlyBlank = Repeat('x', 700);
    earlyBlank[489] = ' ';
    EXPECT_EQ(lengths(earlyBlank), (std::vector<size_t>{511, 189}));
    EXPECT_EQ(lengths(""), (std::vector<size_t>{0}));
    VextrelPuts(kFacility, nullptr);
    EXPECT_EQ(TakeRecords(*config->Queue()), (std::vector<std::string>{""}));
}

TEST(TraceEntry, HandlersSkipOrProduceTheText) {
    PublishedManager manager;
    TraceConfig* config = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    config->RegisterHandler(VXF_WORD(kFacility, VXP_HIGH), nullptr);
    VextrelFormat(VXF_WORD(kFacility, VXP_HIGH), "skipped: the entry's flag is clear");
    VextrelPuts(VXF_WORD(kFacility, VXP_HIGH), "skipped as well");
    VextrelFormat(VXF_WORD(kFacility, VXP_URGENT), "another word passes");
    EXPECT_EQ(TakeRecords(*config->Queue()), (std::vector<std::string>{"another word passes"}));

    // With its flag set, the entry's function writes the text.
    config->RegisterHandler(VXF_WORD(kFacility, VXP_NORMAL), [](uint32_t word, char* text, uint32_t capacity,
                                                                const char* format, va_list args) {
        int n = std::snprintf(text, capacity, "handled %08X: ", static_cast<unsigned>(word));
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        std::vsnprintf(text + n, capacity - n, format, args);
#pragma GCC diagnostic pop
    });
    const_cast<HandlerTable*>(config->Handlers())->entries[0].flags[0] = 1;
    VextrelFormat(VXF_WORD(kFacility, VXP_NORMAL), "%d", 7);
    EXPECT_EQ(TakeRecords(*config->Queue()), (std::vector<std::string>{"handled 0400004D: 7"}));
}

TEST(TraceEntry, NothingHappensWithoutManagerOrQueue) {
    VextrelFormat(kFacility, "no manager");
    VextrelPuts(kFacility, "no manager");
    VextrelSetNameFunc("no manager");
    PublishedManager manager;
    TraceConfig* config = TraceConfig::Create();
    config->file.SetFacilityPriority(kFacility, VXP_LOWEST);
    AddConfig(manager.get(), config);
    manager->PublishConfigs();
    VextrelFormat(kFacility, "no queue yet");  // accepted, but there is nowhere to put it
    EXPECT_EQ(ReserveRecord(*config), nullptr);
}

TEST(TraceEntry, EveryAcceptingConfigurationGetsTheOneTimestampTakenDuringTheCall) {
    PublishedManager manager;
    TraceConfig* first = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    TraceConfig* second = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    const uint64_t before = platform::ReadCounter();
    VextrelFormat(kFacility, "stamped");
    VextrelPuts(kFacility, "put");
    const uint64_t after = platform::ReadCounter();
    std::vector<RecordCopy> one;
    std::vector<RecordCopy> two;
    TakeRecords(*first->Queue(), &one);
    TakeRecords(*second->Queue(), &two);
    ASSERT_EQ(one.size(), 2u);
    ASSERT_EQ(two.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_GE(one[i].timestamp, before);
        EXPECT_LE(one[i].timestamp, after);
        EXPECT_EQ(two[i].timestamp, one[i].timestamp);
    }
    EXPECT_LE(one[0].timestamp, one[1].timestamp);
}

TEST(TraceEntry, FilteredOutCallsStillCallTheClockCallbackAndSetTheStartStamp) {
    PublishedManager manager;
    TraceConfig* config = manager.AddUndrainedConfig(kFacility, VXP_LOWEST);
    VextrelSetClockCallbackFunc(&CountingClock);
    g_clockCalls = 0;
    VextrelFormat(kFacility + 1, "filtered out");
    VextrelPuts(kFacility + 1, "filtered out");
    EXPECT_EQ(g_clockCalls.load(), 2u);
    VextrelFormat(kFacility, "accepted");
    VextrelSetClockCallbackFunc(nullptr);
    std::vector<RecordCopy> records;
    TakeRecords(*config->Queue(), &records);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].timestamp, 1002u);  // the callback's value, called once for the call

    uint64_t stamp = 0;
    const uint64_t before = platform::ReadCounter();
    VextrelFormatTimestamp(&stamp, VXF_WORD(kFacility + 1, VXP_URGENT), "filtered out");
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, platform::ReadCounter());
    EXPECT_TRUE(TakeRecords(*config->Queue()).empty());
}
