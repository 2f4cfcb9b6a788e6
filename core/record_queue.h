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

#include "output/raw_event.h"

namespace vextrel {

class TraceConfig;
class CWriteBehinderThread;

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

// The ring's capacity for a requested queue size: 4096 up to 4096, 16384 up to 32767, else 32768.
uint32_t QueueCapacityFor(uint32_t requestedSize);

class RecordQueue {
public:
    // Creates both events (may throw, see XThreads_RawEvent); no storage yet (capacity 0).
    RecordQueue();
    // Deletes the writer thread object, frees the ring, destroys the done and the wake event.
    ~RecordQueue();
    RecordQueue(const RecordQueue&) = delete;
    RecordQueue& operator=(const RecordQueue&) = delete;

    // --- producer side (any thread) ---

    // Reserves the next slot, or null: without storage or once stopping has begun (nothing
    // counted), or when the ring is full (the lost count grows). A free count down to a quarter of
    // the capacity first takes in the records the writer released meanwhile.
    TraceRecord* Reserve();

    // Publishes a filled slot to the writer (release) and wakes the writer when it sleeps.
    void Commit(TraceRecord* record);

    // --- consumer side (writer thread; output/write_behind.cpp) ---

    // Allocates capacity records for the requested size, remembers the owner and starts the writer
    // thread at normal priority. False when the storage cannot be obtained.
    bool StartWriter(uint32_t requestedSize, TraceConfig* owner);

    // The storage half of StartWriter: allocates and clears the ring and opens it to producers,
    // without a writer thread. False when the storage cannot be obtained.
    bool AllocateRecords(uint32_t requestedSize, TraceConfig* owner);

    // The writer thread's loop: waits for commits and writes every consecutive committed record.
    void Drain();

    // Formats one record into its line and hands it to the accepting tracers.
    void WriteRecord(TraceRecord& record);

    // Sets the stop flag, wakes the writer, waits for it (about 5 s at most) and writes the
    // closing line into the trace file.
    void StopWriter();

    // Called by the writer after it has written a record and cleared its ready flag: the slot may
    // be reserved again once a producer takes it into the free count.
    void ReleaseRecord() { releasedCount.Increment(); }

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
    PaddedCounter lostCount;
    PaddedCounter releasedCount;  // written by the writer, read by producers when the free count runs low
    uint32_t capacity = 0;
    TraceRecord* records = nullptr;
    XThreads_RawEvent wakeEvent;
    CWriteBehinderThread* writerThread = nullptr;
    std::atomic<uint32_t> stopFlag{0};
    XThreads_RawEvent doneEvent;
    TraceConfig* owner = nullptr;

    // The writer's watch before it sleeps (0: it sleeps at once). While the writer watches, commits
    // make no system call; it always ends in a blocking wait, so an idle writer costs nothing. Read
    // once when the writer thread starts.
    uint32_t writerPollMicroseconds = kDefaultWriterPollMicroseconds;

private:
    // 1 while the writer sleeps (or is about to) and nobody has signalled it yet. Commits signal the
    // wake event only when they take this flag from 1 to 0, so a commit makes no system call while
    // the writer is awake or already signalled.
    alignas(64) std::atomic<uint32_t> writerSleeping_{0};
};

}  // namespace vextrel
