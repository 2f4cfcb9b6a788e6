#include "core/record_queue.h"

#include <algorithm>
#include <thread>

#include "platform/clock.h"
#include "platform/pages.h"

namespace vextrel {

uint32_t QueueCapacityFor(uint32_t requestedSize) {
    if (requestedSize <= kSmallQueueSize) return kSmallQueueSize;
    if (requestedSize < kLargeQueueSize) return kMediumQueueSize;
    return kLargeQueueSize;
}

RecordQueue::RecordQueue(const RecordQueueOptions& options) : options_(options) {}

RecordQueue::~RecordQueue() {
    delete consumer_;
    platform::FreePages(records, static_cast<size_t>(capacity) * sizeof(TraceRecord));
}

bool RecordQueue::AllocateRecords(uint32_t requestedSize) {
    const uint32_t size = QueueCapacityFor(requestedSize);
    void* pages = platform::AllocatePages(static_cast<size_t>(size) * sizeof(TraceRecord));
    if (pages == nullptr) return false;
    // The pages come zeroed, resident and written once each, and a free record is all zero bytes
    // (see TraceRecord): the ring is ready without a pass over its records.
    records = static_cast<TraceRecord*>(pages);
    capacity = size;
    reservation_.store((reservation_.load(std::memory_order_relaxed) & ~(kIndexUnit - 1)) | capacity,
                       std::memory_order_relaxed);
    return true;
}

bool RecordQueue::FoldReleased() {
    if (releasedCount.value.load(std::memory_order_seq_cst) == 0) return false;
    // The folding mark tells a producer that finds the ring short meanwhile that slots are in
    // transit from the released count to the free count.
    folding.Increment();
    const uint32_t released = releasedCount.Exchange(0);
    if (released != 0) reservation_.fetch_add(released, std::memory_order_seq_cst);
    folding.Decrement();
    return released != 0;
}

TraceRecord* RecordQueue::ReserveSlowly() {
    if (capacity == 0 || stopFlag.load(std::memory_order_relaxed) != 0) return nullptr;
    uint64_t waitUntil = 0;
    uint64_t word = reservation_.load(std::memory_order_relaxed);
    for (;;) {
        const uint32_t free = FreeOf(word);
        if (free > 3) {
            // One step moves the write index on and counts the slot taken; a racer that got in first
            // makes it fail with the word as it is now, and the loop looks again.
            if (!reservation_.compare_exchange_weak(word, word - 1 + kIndexUnit, std::memory_order_seq_cst,
                                                    std::memory_order_relaxed)) {
                continue;
            }
            // Taken in well before the ring looks full, so that a producer racing with the one that
            // takes them still finds room.
            if (free - 1 <= capacity / 4) FoldReleased();
            return &records[(IndexOf(word) + 1) & (capacity - 1)];
        }
        if (FoldReleased()) {
            word = reservation_.load(std::memory_order_relaxed);
            continue;
        }
        // Refused only when the ring is really full: no released slots waiting, none in transit in
        // another producer's hands, and no room folded in since this one looked (a full ring rests
        // at three free slots). Read in this order, a fold that took the released slots before the
        // first read has added them to the free count before the last.
        const bool releasedWaiting = releasedCount.value.load(std::memory_order_seq_cst) != 0;
        const bool inTransit = folding.value.load(std::memory_order_seq_cst) != 0;
        word = reservation_.load(std::memory_order_seq_cst);
        if (FreeOf(word) > 3) continue;
        if (!releasedWaiting && !inTransit) break;
        const uint64_t now = platform::ReadCounter();
        if (waitUntil == 0) waitUntil = now + platform::CounterFrequency() * options_.foldWaitMicroseconds / 1000000u;
        if (now >= waitUntil) break;
        if (inTransit) std::this_thread::yield();
    }
    lostCount.Increment();
    return nullptr;
}

void RecordQueue::WakeSleepingWriter() {
    if (writerSleeping_.exchange(0, std::memory_order_seq_cst) != 0) wakeEvent.Set();
}

bool RecordQueue::Stop(uint64_t deadlineTicks) {
    RequestStop();
    return consumer_ == nullptr || consumer_->Finish(deadlineTicks);
}

void RecordQueue::DrainUntil(uint64_t deadline) {
    if (capacity == 0) return;
    const uint32_t target = WriteIndex() + 1;
    wakeEvent.Set();
    const uint64_t stallTicks = platform::CounterFrequency() * kDrainStallMilliseconds / 1000u;
    uint32_t lastWritten = writtenIndex.Load();
    uint64_t lastProgress = platform::ReadCounter();
    for (;;) {
        const uint32_t written = writtenIndex.Load();
        if (static_cast<int32_t>(written - target) >= 0) return;
        const uint64_t now = platform::ReadCounter();
        if (now >= deadline) return;
        if (written != lastWritten) {
            lastWritten = written;
            lastProgress = now;
        } else if (now - lastProgress >= stallTicks) {
            return;
        }
        platform::SleepMilliseconds(1);
    }
}

RecordQueue::SleepCheck RecordQueue::PrepareToSleep(const TraceRecord& next) {
    // The pairing with Commit. Producer: reserve (a sequentially consistent compare-exchange on
    // reservation_), fill, store ready (release), load writerSleeping_ (seq_cst). Writer: store
    // writerSleeping_ = 1 (seq_cst), load reservation_ (seq_cst). All four operations are
    // sequentially consistent, so they have one total order S that agrees with each thread's program
    // order. Suppose the load here misses a producer's reservation, reading a value earlier in
    // reservation_'s modification order: then the load is coherence-ordered before the reservation
    // and precedes it in S, so S holds: flag store < this load < reservation < the producer's flag
    // load. A sequentially consistent load cannot read a value earlier in modification order than a
    // sequentially consistent store that precedes it in S, so the producer reads this flag or a
    // later value: a 1 that it takes and signals, a 0 from a producer that took the flag first and
    // signalled, or a 0 this writer stored after it found a record and did not sleep. Either this
    // writer sees every reservation made so far, or the producers it misses wake it. Nothing needs a
    // process-wide barrier.
    //
    // Seeing a reservation is not seeing its record: the producer may be filling it, or may have read
    // the flag before it was set and will not signal. The writer then must not sleep for good (see
    // AwaitReservedRecord).
    writerSleeping_.store(1, std::memory_order_seq_cst);
    const uint32_t reserved = IndexOf(reservation_.load(std::memory_order_seq_cst)) + 1;
    if (reserved == readIndex.Load()) return SleepCheck::kNothingReserved;
    if (next.ready.value.load(std::memory_order_acquire) == 0) return SleepCheck::kReservedNotReady;
    // A record arrived meanwhile. When a producer already took the flag it signals the event too;
    // the next wait then returns at once, which is harmless.
    writerSleeping_.store(0, std::memory_order_relaxed);
    return SleepCheck::kRecordReady;
}

void RecordConsumerSide::SleepUntilWoken(const TraceRecord& next) {
    switch (queue_.PrepareToSleep(next)) {
        case RecordQueue::SleepCheck::kNothingReserved: queue_.wakeEvent.Wait(platform::kWaitForever); break;
        case RecordQueue::SleepCheck::kReservedNotReady: AwaitReservedRecord(next); break;
        case RecordQueue::SleepCheck::kRecordReady: break;
    }
    MarkAwake();
}

void RecordConsumerSide::AwaitReservedRecord(const TraceRecord& next) {
    // Usually the producer is a few instructions from its commit: watch the slot for a moment.
    const uint64_t start = platform::ReadCounter();
    const uint64_t watchTicks = platform::CounterFrequency() * kReservedWatchMicroseconds / 1000000u;
    do {
        if (next.ready.value.load(std::memory_order_acquire) != 0 || queue_.Stopping()) return;
        std::this_thread::yield();
    } while (platform::ReadCounter() - start < watchTicks);
    // A producer preempted between its reservation and its commit: wait with a timeout, longer each
    // time the same slot is still not ready, for the case that its commit read the flag before this
    // writer set it. A producer that reads the flag set signals, and the wait ends at once.
    const uint32_t position = queue_.readIndex.Load();
    if (position != reservedWaitPosition_ || reservedWaitMilliseconds_ == 0) {
        reservedWaitPosition_ = position;
        reservedWaitMilliseconds_ = 1;
    } else if (reservedWaitMilliseconds_ < kReservedWaitLimitMilliseconds) {
        reservedWaitMilliseconds_ = std::min(reservedWaitMilliseconds_ * 2, kReservedWaitLimitMilliseconds);
    }
    queue_.wakeEvent.Wait(reservedWaitMilliseconds_);
}

}  // namespace vextrel
