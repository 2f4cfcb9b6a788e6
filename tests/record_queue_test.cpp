#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "core/record_queue.h"
#include "core/trace_config.h"
#include "platform/clock.h"
#include "support/core_fixture.h"
#include "support/output_fixture.h"

using namespace vextrel;

namespace {

// A record's self-check: producer, sequence and a checksum over both, written into the text.
struct Stamp { uint32_t producer, sequence, checksum; };

uint32_t ChecksumOf(uint32_t producer, uint32_t sequence) { return (producer * 2654435761u) ^ (sequence * 40503u) ^ 0xA5A5A5A5u; }

}  // namespace

// Many producers race on a ring that stays full while the consumer drains it one record at a time.
// Every reserved slot must be handed to exactly one producer: each record arrives intact, each
// producer's records arrive in order, and every call is accounted for as delivered or lost.
TEST(RecordQueue, RacingProducersOnAFullRingNeverShareASlot) {
    constexpr uint32_t kProducers = 16;
    constexpr uint64_t kDeliveries = 150000;
    RecordQueue queue;
    ASSERT_TRUE(queue.AllocateRecords(4096));

    std::atomic<bool> stop{false};
    std::vector<uint64_t> calls(kProducers, 0), accepted(kProducers, 0);
    std::vector<std::thread> producers;
    for (uint32_t p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            uint32_t sequence = 0;
            while (!stop.load(std::memory_order_relaxed)) {
                ++calls[p];
                TraceRecord* record = queue.Reserve();
                if (record == nullptr) continue;
                const Stamp stamp{p, sequence, ChecksumOf(p, sequence)};
                ++sequence;
                record->threadId = p;
                std::memcpy(record->text, &stamp, sizeof stamp);
                queue.Commit(record);
                ++accepted[p];
            }
        });
    }

    std::vector<int64_t> lastSequence(kProducers, -1);
    uint64_t delivered = 0;
    uint32_t corrupt = 0, outOfOrder = 0;
    auto drainOne = [&]() {
        return vextrel::testing::TakeNext(queue, [&](const TraceRecord& record) {
            Stamp stamp;
            std::memcpy(&stamp, record.text, sizeof stamp);
            if (stamp.producer >= kProducers || stamp.checksum != ChecksumOf(stamp.producer, stamp.sequence) ||
                record.threadId != stamp.producer) {
                ++corrupt;
            } else {
                if (static_cast<int64_t>(stamp.sequence) <= lastSequence[stamp.producer]) ++outOfOrder;
                lastSequence[stamp.producer] = stamp.sequence;
            }
            ++delivered;
        });
    };
    while (delivered < kDeliveries && corrupt == 0) {
        if (!drainOne()) std::this_thread::yield();
    }
    stop.store(true);
    for (std::thread& producer : producers) producer.join();
    while (drainOne()) continue;

    uint64_t totalCalls = 0, totalAccepted = 0;
    for (uint32_t p = 0; p < kProducers; ++p) totalCalls += calls[p], totalAccepted += accepted[p];
    EXPECT_EQ(corrupt + outOfOrder, 0u);
    EXPECT_EQ(delivered, totalAccepted);
    EXPECT_EQ(totalAccepted + queue.lostCount.Load(), totalCalls);
    EXPECT_EQ(queue.freeCount.Load() + queue.releasedCount.Load(), queue.capacity);
    EXPECT_GT(queue.lostCount.Load(), 0u) << "the ring never ran full; the race was not exercised";
}

// A real writer thread sleeps on the wake event between bursts; producers commit at random
// moments. If a commit ever failed to wake a sleeping writer, its record would stay unwritten.
// Both with the writer's brief watch before sleeping and without it (it then sleeps after every
// drain, which exercises the wake path hardest).
TEST(RecordQueue, NoWakeUpIsLost) {
    for (uint32_t pollMicroseconds : {0u, kDefaultWriterPollMicroseconds}) {
        SCOPED_TRACE(pollMicroseconds);
        constexpr uint32_t kProducers = 4;
        constexpr uint32_t kRecordsPerProducer = 1000;  // all four fit the ring: nobody waits for room
        std::unique_ptr<TraceConfig> config(TraceConfig::Create());
        vextrel::testing::LineCollector client;
        config->client.SetFacilityPriority(1, VXP_LOWEST);
        config->client.AddClient(&client);
        vextrel::testing::StartWriter(*config, 4096, pollMicroseconds);

        std::vector<std::thread> producers;
        for (uint32_t p = 0; p < kProducers; ++p) {
            producers.emplace_back([&, p] {
                std::mt19937 random(p + 1);
                for (uint32_t i = 0; i < kRecordsPerProducer; ++i) {
                    vextrel::testing::CommitText(*config, "tick", {false, false, true});
                    // Random gaps let the writer fall asleep between commits.
                    const uint32_t pause = random() % 100;
                    if (pause < 3) std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
                    else if (pause < 30) std::this_thread::yield();
                }
            });
        }
        for (std::thread& producer : producers) producer.join();

        const uint32_t expected = kProducers * kRecordsPerProducer;
        EXPECT_TRUE(client.WaitFor(expected));
        EXPECT_EQ(config->Queue()->lostCount.Load(), 0u);
    }
}

// The writer's released records return to the free count when a producer finds it low: a full ring
// accepts exactly as many new records as the writer released, and refuses the next one. A producer
// that reserves while another holds the released slots between taking them out of the released
// count and adding them to the free count gets a slot; a ring that is really full refuses at once
// and counts the loss. The ring's size follows the request.
TEST(RecordQueue, ReleasedRecordsReturnWhenTheRingRunsLowAndNoReservationFailsWhileTheyAreInTransit) {
    EXPECT_EQ(QueueCapacityFor(0) + QueueCapacityFor(4097) + QueueCapacityFor(32768) + QueueCapacityFor(0xFFFFFFFFu),
              4096u + 16384u + 32768u + 32768u);
    RecordQueue queue;
    ASSERT_TRUE(queue.AllocateRecords(4096));
    auto fill = [&](uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) {
            TraceRecord* record = queue.Reserve();
            ASSERT_NE(record, nullptr) << i;
            queue.Commit(record);
        }
        EXPECT_EQ(queue.Reserve(), nullptr);
    };
    auto take = [&](uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) ASSERT_TRUE(vextrel::testing::TakeNext(queue, [](const TraceRecord&) {}));
    };
    fill(4093);
    take(10);
    EXPECT_EQ(queue.freeCount.Load(), 3u);  // nothing taken back yet
    fill(10);
    EXPECT_EQ(queue.lostCount.Exchange(0), 2u);
    EXPECT_EQ(queue.freeCount.Load() + queue.releasedCount.Load(), 3u);
    take(1000);

    // The first producer's steps, up to the point where the released slots are in its hands only.
    queue.foldWaitMicroseconds = 60 * 1000 * 1000;  // the replay below decides when the fold ends
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
