#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "core/record_queue.h"
#include "core/trace_config.h"
#include "core/trace_entry.h"
#include "output/queue_writer.h"
#include "platform/clock.h"
#include "support/ring_drain.h"

using namespace vextrel;

namespace {

// A record's self-check: producer, sequence and a checksum over both, written into the text.
struct Stamp { uint32_t producer, sequence, checksum; };

uint32_t ChecksumOf(uint32_t producer, uint32_t sequence) { return (producer * 2654435761u) ^ (sequence * 40503u) ^ 0xA5A5A5A5u; }

// Counts the lines its configuration's writer delivers.
struct CountingClient : TraceClient {
    std::atomic<uint32_t> lines{0};
    void OnTraceLine(const char*, uint32_t) override { lines.fetch_add(1); }
};

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
        CountingClient client;
        config->client.SetFacilityPriority(1, VXP_LOWEST);
        config->client.AddClient(&client);
        auto* queue = new RecordQueue;
        queue->writerPollMicroseconds = pollMicroseconds;
        ASSERT_TRUE(StartQueueWriter(*queue, 4096, *config));
        config->SetQueue(queue);

        std::vector<std::thread> producers;
        for (uint32_t p = 0; p < kProducers; ++p) {
            producers.emplace_back([&, p] {
                std::mt19937 random(p + 1);
                const Acceptance toClient{false, false, true};
                for (uint32_t i = 0; i < kRecordsPerProducer; ++i) {
                    TraceRecord* record = ReserveRecord(*config);
                    if (record == nullptr) continue;
                    std::strcpy(record->text, "tick");
                    CommitRecord(record, toClient, p, 1, platform::ReadCounter(), 0, false, *config);
                    // Random gaps let the writer fall asleep between commits.
                    const uint32_t pause = random() % 100;
                    if (pause < 3) std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
                    else if (pause < 30) std::this_thread::yield();
                }
            });
        }
        for (std::thread& producer : producers) producer.join();

        const uint32_t expected = kProducers * kRecordsPerProducer;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (client.lines.load() < expected && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(client.lines.load(), expected);
        EXPECT_EQ(queue->lostCount.Load(), 0u);
    }
}

// The writer's released records return to the free count when a producer finds it low: a full ring
// accepts exactly as many new records as the writer released, and refuses the next one; with room to
// spare, the released records stay with the writer's count. The ring's size follows the request.
TEST(RecordQueue, ReleasedRecordsReturnWhenTheRingRunsLow) {
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
    EXPECT_EQ(queue.lostCount.Load(), 2u);
    EXPECT_EQ(queue.freeCount.Load() + queue.releasedCount.Load(), 3u);
    // Release 3000: the next reservation takes them all in; then the free count stays high enough
    // that the next releases wait with the writer until it is down to a quarter again.
    take(3000);
    ASSERT_NE(queue.Reserve(), nullptr);
    EXPECT_EQ(queue.freeCount.Load(), 3002u);
    queue.releasedCount.Increment();
    ASSERT_NE(queue.Reserve(), nullptr);
    EXPECT_EQ(queue.freeCount.Load(), 3001u);
    EXPECT_EQ(queue.releasedCount.Load(), 1u);
}
