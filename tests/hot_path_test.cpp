// The trace call's timestamp when nothing asks for it early, and records the writer releases coming
// back to the producers.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

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

constexpr uint32_t kFacility = 91;
constexpr uint32_t kOtherFacility = 92;

std::atomic<uint32_t> g_clockCalls{0};
uint64_t CountingClock() { return 1000 + g_clockCalls.fetch_add(1); }

}  // namespace

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
    VextrelFormat(kOtherFacility, "filtered out");
    VextrelPuts(kOtherFacility, "filtered out");
    EXPECT_EQ(g_clockCalls.load(), 2u);
    VextrelFormat(kFacility, "accepted");
    VextrelSetClockCallbackFunc(nullptr);
    std::vector<RecordCopy> records;
    TakeRecords(*config->Queue(), &records);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].timestamp, 1002u);  // the callback's value, called once for the call

    uint64_t stamp = 0;
    const uint64_t before = platform::ReadCounter();
    VextrelFormatTimestamp(&stamp, VXF_WORD(kOtherFacility, VXP_URGENT), "filtered out");
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, platform::ReadCounter());
    EXPECT_TRUE(TakeRecords(*config->Queue()).empty());
}

// The writer's released records return to the free count when a producer finds it low: a full ring
// accepts exactly as many new records as the writer released, and refuses the next one; with room to
// spare, the released records stay with the writer's count.
TEST(RecordQueue, ReleasedRecordsReturnWhenTheRingRunsLow) {
    RecordQueue queue;
    ASSERT_TRUE(queue.AllocateRecords(4096));
    for (uint32_t i = 0; i < 4093; ++i) {
        TraceRecord* record = queue.Reserve();
        ASSERT_NE(record, nullptr) << i;
        queue.Commit(record);
    }
    EXPECT_EQ(queue.Reserve(), nullptr);
    EXPECT_EQ(queue.lostCount.Load(), 1u);

    for (uint32_t i = 0; i < 10; ++i) {
        TraceRecord* record = queue.TakeNext();
        ASSERT_NE(record, nullptr);
        queue.Release(record);
    }
    EXPECT_EQ(queue.freeCount.Load(), 3u);  // nothing taken back yet
    for (uint32_t i = 0; i < 10; ++i) {
        TraceRecord* record = queue.Reserve();
        ASSERT_NE(record, nullptr) << i;
        EXPECT_EQ(record, &queue.records[(4093 + i) & (queue.capacity - 1)]);
        queue.Commit(record);
    }
    EXPECT_EQ(queue.Reserve(), nullptr);
    EXPECT_EQ(queue.lostCount.Load(), 2u);
    EXPECT_EQ(queue.freeCount.Load() + queue.releasedCount.Load(), 3u);

    // Release 3000: the next reservation takes them all in; then the free count stays high enough
    // that the next releases wait with the writer until it is down to a quarter again.
    for (uint32_t i = 0; i < 3000; ++i) {
        queue.Release(queue.TakeNext());
    }
    ASSERT_NE(queue.Reserve(), nullptr);
    EXPECT_EQ(queue.freeCount.Load(), 3002u);
    EXPECT_EQ(queue.releasedCount.Load(), 0u);
    queue.releasedCount.Increment();
    ASSERT_NE(queue.Reserve(), nullptr);
    EXPECT_EQ(queue.freeCount.Load(), 3001u);
    EXPECT_EQ(queue.releasedCount.Load(), 1u);
}
