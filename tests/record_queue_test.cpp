#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/record_queue.h"
#include "core/trace_config.h"
#include "support/core_fixture.h"
#include "support/output_fixture.h"
#include "support/record_queue_peer.h"

using namespace vextrel;

namespace {

// A record's self-check: producer, sequence and a checksum over both, written into the text.
struct Stamp {
    uint32_t producer, sequence, checksum;
};

uint32_t ChecksumOf(uint32_t producer, uint32_t sequence) {
    return (producer * 2654435761u) ^ (sequence * 40503u) ^ 0xA5A5A5A5u;
}

}  // namespace

// A ring starts on zeroed pages without constructing its records: a record made the ordinary way
// holds nothing but zero bytes up to its text, whatever the memory held before.
TEST(RecordQueue, AFreshRecordIsZeroBytesUpToItsText) {
    alignas(TraceRecord) unsigned char storage[sizeof(TraceRecord)];
    std::memset(storage, 0xA5, sizeof storage);
    TraceRecord* record = new (storage) TraceRecord;
    const unsigned char zeros[offsetof(TraceRecord, text)] = {};
    EXPECT_EQ(std::memcmp(record, zeros, sizeof zeros), 0);
    record->~TraceRecord();
}

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
    EXPECT_EQ(corrupt, 0u);
    EXPECT_EQ(outOfOrder, 0u);
    EXPECT_EQ(delivered, totalAccepted);
    EXPECT_EQ(totalAccepted + RecordQueuePeer::LostCount(queue), totalCalls);
    EXPECT_EQ(RecordQueuePeer::FreeSlots(queue), RecordQueuePeer::Capacity(queue));
    EXPECT_GT(RecordQueuePeer::LostCount(queue), 0u) << "the ring never ran full; the race was not exercised";
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
                    if (pause < 3)
                        std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
                    else if (pause < 30)
                        std::this_thread::yield();
                }
            });
        }
        for (std::thread& producer : producers) producer.join();

        const uint32_t expected = kProducers * kRecordsPerProducer;
        EXPECT_TRUE(client.WaitFor(expected));
        EXPECT_EQ(RecordQueuePeer::LostCount(*config->Queue()), 0u);
    }
}

// A commit may read the writer's sleeping mark just before the writer sets it, and then not signal.
// A writer that saw the slot reserved must still take the record then, not sleep until a signal:
// here the record ahead of a committed one becomes ready without any signal.
TEST(RecordQueue, AWriterThatSawASlotReservedTakesItsRecordWithoutASignal) {
    std::unique_ptr<TraceConfig> config(TraceConfig::Create());
    vextrel::testing::LineCollector client;
    config->client.AddClient(&client);
    vextrel::testing::StartWriter(*config, 4096, 0);
    RecordQueue& queue = *config->Queue();
    TraceRecord* unsignalled = ReserveRecord(*config);
    ASSERT_NE(unsignalled, nullptr);
    vextrel::testing::CommitText(*config, "behind it", {false, false, true});
    // Set once the writer, woken by that commit or never asleep, looked at the ring again.
    while (!RecordQueuePeer::WriterSleeping(queue)) std::this_thread::yield();
    std::snprintf(unsignalled->text, sizeof unsignalled->text, "first");
    unsignalled->toClient = 1;
    unsignalled->ready.value.store(kRecordText, std::memory_order_release);
    ASSERT_TRUE(client.WaitFor(2));
    EXPECT_NE(client.Lines()[0].find("first"), std::string::npos);
}

// The ring's size follows the request.
TEST(RecordQueue, CapacityFollowsTheRequestedSize) {
    EXPECT_EQ(QueueCapacityFor(0), 4096u);
    EXPECT_EQ(QueueCapacityFor(4097), 16384u);
    EXPECT_EQ(QueueCapacityFor(32768), 32768u);
    EXPECT_EQ(QueueCapacityFor(0xFFFFFFFFu), 32768u);
}

// A full ring accepts exactly as many new records as the writer released, and refuses the next one,
// counting it as lost; the released slots come back when the ring runs low.
TEST(RecordQueue, AFullRingTakesBackExactlyWhatTheWriterReleased) {
    RecordQueue queue;
    ASSERT_TRUE(queue.AllocateRecords(4096));
    // Reserves and commits until the ring refuses; the count accepted.
    auto fill = [&] {
        uint32_t accepted = 0;
        while (TraceRecord* record = queue.Reserve()) {
            queue.Commit(record);
            ++accepted;
        }
        return accepted;
    };
    auto take = [&](uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) ASSERT_TRUE(vextrel::testing::TakeNext(queue, [](const TraceRecord&) {}));
    };
    EXPECT_EQ(fill(), 4093u);
    take(10);
    EXPECT_EQ(fill(), 10u);
    EXPECT_EQ(RecordQueuePeer::LostCount(queue), 2u);
    EXPECT_EQ(RecordQueuePeer::FreeSlots(queue), 3u);
    take(1000);
    EXPECT_EQ(fill(), 1000u);
    EXPECT_EQ(queue.NextReservedPosition() - queue.ReadPosition(), 4096u - 3u);
}
