#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/record_queue.h"
#include "platform/clock.h"
#include "support/ring_drain.h"

using namespace vextrel;

// A producer that reserves while another holds the released slots between taking them out of the
// released count and adding them to the free count gets a slot; a ring that is really full refuses
// at once and counts the loss.
TEST(RingReservation, RefusedOnlyWhenTheRingIsReallyFull) {
    RecordQueue queue;
    ASSERT_TRUE(queue.AllocateRecords(4096));
    queue.foldWaitMicroseconds = 60 * 1000 * 1000;  // the replay below decides when the fold ends
    uint32_t reserved = 0;
    while (TraceRecord* record = queue.Reserve()) {
        queue.Commit(record);
        ++reserved;
    }
    EXPECT_EQ(reserved, 4096u - 3u);
    EXPECT_EQ(queue.lostCount.Exchange(0), 1u);
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(vextrel::testing::TakeNext(queue, [](TraceRecord&) {}));

    // The first producer's steps, up to the point where the released slots are in its hands only.
    const int32_t firstLeft = static_cast<int32_t>(queue.freeCount.Decrement());
    queue.folding.Increment();
    const uint32_t released = queue.releasedCount.Exchange(0);
    ASSERT_EQ(released, 1000u);

    std::atomic<TraceRecord*> second{nullptr};
    std::atomic<bool> started{false};
    std::thread racer([&] {
        started = true;
        second = queue.Reserve();
    });
    while (!started) std::this_thread::yield();
    platform::SleepMilliseconds(20);
    EXPECT_GT(static_cast<int32_t>(queue.freeCount.Add(released)), 2);
    EXPECT_LE(firstLeft, 2);
    queue.folding.Decrement();
    queue.writeIndex.Increment();  // the first producer's slot
    racer.join();
    EXPECT_NE(second.load(), nullptr);
    EXPECT_EQ(queue.lostCount.Load(), 0u);

    queue.foldWaitMicroseconds = 2000;
    while (queue.Reserve() != nullptr) {
    }
    EXPECT_EQ(queue.lostCount.Load(), 1u);
    EXPECT_EQ((queue.writeIndex.Load() + 1) - queue.readIndex.Load(), 4096u - 3u);
}
