// RecordQueue: the multi-producer, single-consumer ring of fixed-size trace records between the
// host's trace calls and a configuration's writer thread.
//
// Producers reserve a slot with two interlocked operations (free count, write index), fill it and
// commit it by setting its ready flag; the writer takes committed records strictly in ring order.
// At most capacity - 3 records are reserved or waiting at any moment.
//
// The writer does not hand finished records back through the free count itself: it counts them in
// a released count on a cache line of its own, which producers fold into the free count when the
// free count is down to a quarter of the capacity. A trace call therefore rarely touches a cache
// line that the writer changed since the call before.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/raw_event.h"

namespace vextrel {

// The consumer of a ring, its writer thread, as the ring sees it: the ring finishes it when it stops.
class RecordConsumer {
public:
    virtual ~RecordConsumer() = default;
    // Waits until the writer has drained what was committed, written the closing line and ended,
    // until the counter reaches `deadlineTicks` at most (0: the stop wait from now). True when it
    // ended (or its thread is gone, or this thread took its ring over); false when it is still
    // running: the ring was handed over and the writer frees its owner when it ends.
    virtual bool Finish(uint64_t deadlineTicks) = 0;
};

// How long a stopping thread waits for the writer to drain the ring and end.
constexpr uint32_t kStopWaitMilliseconds = 5000;

// An unsigned 32-bit value with interlocked, sequentially consistent increment and decrement that
// return the new value.
struct AtomicCounter {
    std::atomic<uint32_t> value{0};

    uint32_t Increment() { return value.fetch_add(1, std::memory_order_seq_cst) + 1; }
    uint32_t Decrement() { return value.fetch_sub(1, std::memory_order_seq_cst) - 1; }
    uint32_t Add(uint32_t n) { return value.fetch_add(n, std::memory_order_seq_cst) + n; }
    uint32_t Exchange(uint32_t v) { return value.exchange(v, std::memory_order_seq_cst); }
    uint32_t Load() const { return value.load(std::memory_order_relaxed); }
    void Store(uint32_t v) { value.store(v, std::memory_order_relaxed); }
};

// A counter alone on its cache line, so producers and the writer do not false-share.
struct alignas(64) PaddedCounter : AtomicCounter {};

constexpr uint32_t kRecordTextCapacity = 512;

// How long, in microseconds, the writer keeps watching for the next record after the ring ran dry
// before it sleeps on the wake event.
constexpr uint32_t kDefaultWriterPollMicroseconds = 20;
constexpr uint32_t kRecordNameCapacity = 32;

// One slot of the ring.
struct alignas(64) TraceRecord {
    AtomicCounter ready;  // 0 = free, 1 = committed and waiting for the writer
    uint8_t toFile = 0;
    uint8_t toConsole = 0;
    uint8_t toClient = 0;
    uint8_t quiet = 0;
    uint32_t threadId = 0;
    uint32_t facilityId = 0;
    uint64_t timestamp = 0;
    uint64_t startTimestamp = 0;
    char name[kRecordNameCapacity] = {};
    char text[kRecordTextCapacity];
};

// The ring sizes: the default, "medium" and "large" queue sizes of a configuration.
constexpr uint32_t kSmallQueueSize = 4096;
constexpr uint32_t kMediumQueueSize = 16384;
constexpr uint32_t kLargeQueueSize = 32768;

// The ring's capacity for a requested queue size: 4096 up to 4096, 16384 up to 32767, else 32768.
uint32_t QueueCapacityFor(uint32_t requestedSize);

class RecordQueue {
public:
    // Creates both events (may throw, see XThreads_RawEvent); no storage yet (capacity 0).
    RecordQueue();
    // Deletes the consumer, returns the ring's pages to the system, destroys the done and the wake
    // event. Only once the writer has ended (see Stop).
    ~RecordQueue();
    RecordQueue(const RecordQueue&) = delete;
    RecordQueue& operator=(const RecordQueue&) = delete;

    // --- producer side (any thread) ---

    // Reserves the next slot, or null: without storage or once stopping has begun (nothing
    // counted), or when the ring is really full (the lost count grows). A free count down to a
    // quarter of the capacity first takes in the records the writer released meanwhile; a producer
    // that finds the free count short while another is taking them in waits a moment for it.
    TraceRecord* Reserve();

    // Publishes a filled slot to the writer (release) and wakes the writer when it sleeps.
    void Commit(TraceRecord* record);

    // --- consumer side (the writer thread) ---
    // Maps the ring for the requested size straight from the system and opens it to producers.
    // False when the storage cannot be obtained.
    bool AllocateRecords(uint32_t requestedSize);
    // The next record in ring order when it is committed, else null.
    TraceRecord* TakeNext() {
        TraceRecord& record = NextSlot();
        return record.ready.value.load(std::memory_order_acquire) != 0 ? &record : nullptr;
    }
    // Hands a record taken by TakeNext back: clears its ready flag and counts it in the released
    // count (a producer takes it into the free count when the ring runs low), then moves on.
    void Release(TraceRecord* record) {
        record->ready.value.store(0, std::memory_order_release);
        releasedCount.Increment();
        readIndex.Increment();
    }
    // The slot the writer reads next, committed or not.
    TraceRecord& NextSlot() { return records[readIndex.Load() & (capacity - 1)]; }
    // Sets the stop flag (no reservation succeeds afterwards) and wakes the writer, which begins to
    // drain; Stop then waits for it.
    void RequestStop() {
        stopFlag.store(0xFFFFFFFFu, std::memory_order_seq_cst);
        wakeEvent.Set();
    }
    // Sets the stop flag (no reservation succeeds afterwards), wakes the writer and lets the
    // consumer drain and finish its output. True when the writer ended (or never ran): the owner
    // may free the ring. False when the writer outlived the stop wait: it now owns the ring and its
    // owner and frees them when it ends. Rings stopped together share one `deadlineTicks` (see
    // RecordConsumer::Finish).
    bool Stop(uint64_t deadlineTicks = 0);
    // Whether Stop was called.
    bool Stopping() const { return stopFlag.load(std::memory_order_relaxed) != 0; }
    // Whether a slot was reserved that the writer has not released yet.
    bool HasReservedRecords() const { return writeIndex.Load() + 1 != readIndex.Load(); }
    // The writer's last step: true when the stopping thread still owns the ring (the writer must
    // touch nothing of it afterwards); false when the stopping thread gave up waiting and the
    // writer must free the owner itself.
    bool MarkWriterEnded() {
        uint32_t running = kWriterRunning;
        return writerState_.compare_exchange_strong(running, kWriterEnded, std::memory_order_acq_rel);
    }
    // The stopping thread gives up waiting: true when the writer is still running and now owns the
    // ring; false when it ended meanwhile.
    bool AbandonWriter() {
        uint32_t running = kWriterRunning;
        return writerState_.compare_exchange_strong(running, kWriterAbandoned, std::memory_order_acq_rel);
    }
    bool WriterEnded() const { return writerState_.load(std::memory_order_acquire) == kWriterEnded; }
    // Called by the writer before it sleeps: true when it may sleep on the wake event; false when a
    // record became ready meanwhile (the writer then drains again instead of sleeping).
    bool PrepareToSleep(const TraceRecord& next);
    // Called by the writer once it is awake again. The flag is written only when it is set, so a
    // writer that never slept leaves the producers' copy of its cache line alone.
    void MarkAwake() {
        if (writerSleeping_.load(std::memory_order_relaxed) != 0) writerSleeping_.store(0, std::memory_order_relaxed);
    }

    PaddedCounter readIndex;
    // Every reservation changes both of these, so they share one cache line; the writer never
    // touches it.
    alignas(64) AtomicCounter writeIndex;
    AtomicCounter freeCount;
    // Producers taking the released count into the free count just now. A producer that finds the
    // ring short while this is not zero waits for them instead of refusing.
    AtomicCounter folding;
    PaddedCounter lostCount;
    PaddedCounter releasedCount;  // written by the writer, read by producers when the free count runs low
    uint32_t capacity = 0;
    TraceRecord* records = nullptr;
    XThreads_RawEvent wakeEvent;
    RecordConsumer* consumer = nullptr;  // owned; deleted with the ring
    std::atomic<uint32_t> stopFlag{0};
    XThreads_RawEvent doneEvent;

    // The writer's watch before it sleeps (0: it sleeps at once). While the writer watches, commits
    // make no system call; it always ends in a blocking wait, so an idle writer costs nothing. Read
    // once when the writer thread starts.
    uint32_t writerPollMicroseconds = kDefaultWriterPollMicroseconds;
    // How long Stop waits for the writer. The writer drains for four fifths of it at most, so that
    // its closing line still comes in time.
    uint32_t stopWaitMilliseconds = kStopWaitMilliseconds;
    // Set by the stopping thread before Stop when the process is ending: a writer thread found gone
    // then was ended by the system, perhaps in the middle of a write (see QueueWriter::Finish).
    bool processEnding = false;
    // How long a producer that found the ring short waits for others to finish taking in the
    // released count before it gives up: a moment, for a racer preempted between its two steps.
    uint32_t foldWaitMicroseconds = 2000;

private:
    static constexpr uint32_t kWriterRunning = 0;
    static constexpr uint32_t kWriterEnded = 1;
    static constexpr uint32_t kWriterAbandoned = 2;
    std::atomic<uint32_t> writerState_{kWriterRunning};

    // 1 while the writer sleeps (or is about to) and nobody has signalled it yet. Commits signal the
    // wake event only when they take this flag from 1 to 0, so a commit makes no system call while
    // the writer is awake or already signalled.
    alignas(64) std::atomic<uint32_t> writerSleeping_{0};
};

}  // namespace vextrel
