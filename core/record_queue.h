// RecordQueue: the multi-producer, single-consumer ring of fixed-size trace records between the
// host's trace calls and a configuration's writer thread.
//
// Producers reserve a slot with one interlocked operation on a word that holds both the write index
// and the free count, fill it and commit it by setting its ready flag; the writer takes committed records strictly in
// ring order. At most capacity - 3 records are reserved or waiting at any moment.
//
// The writer does not hand finished records back through the free count itself: it counts them in
// a released count on a cache line of its own, which producers fold into the free count when the
// free count is down to a quarter of the capacity. A trace call therefore rarely touches a cache
// line that the writer changed since the call before.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/raw_event.h"

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
    // The writer's thread id (0 before it started): a thread that crashed in it drains nothing.
    virtual uint32_t ConsumerThreadId() const = 0;
};

// How long a stopping thread waits for the writer to drain the ring and end.
constexpr uint32_t kStopWaitMilliseconds = 5000;
// How long DrainUntil waits for the writer to make progress before it gives up on it.
constexpr uint32_t kDrainStallMilliseconds = 300;

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

// A slot's ready flag: free, or committed with its text, or committed with a captured call in place
// of its text (the writer formats it into its line, see FormatRecordLine).
constexpr uint32_t kRecordFree = 0;
constexpr uint32_t kRecordText = 1;
constexpr uint32_t kRecordCaptured = 2;

// One slot of the ring. A free slot is all zero bytes up to its text (and the text is written before
// it is read): a ring starts on zeroed pages without a constructor run per slot, so every member
// keeps zero as its starting value.
struct alignas(64) TraceRecord {
    AtomicCounter ready;  // kRecordFree, or kRecordText / kRecordCaptured once committed
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

// The ring's tuning values, fixed when it is made.
struct RecordQueueOptions {
    // The writer's watch before it sleeps (0: it sleeps at once). While the writer watches, commits
    // make no system call; it always ends in a blocking wait, so an idle writer costs nothing.
    uint32_t writerPollMicroseconds = kDefaultWriterPollMicroseconds;
    // How long Stop waits for the writer. The writer drains for four fifths of it at most, so that
    // its closing line still comes in time.
    uint32_t stopWaitMilliseconds = kStopWaitMilliseconds;
    // How long a producer that found the ring short waits for others to finish taking in the
    // released count before it gives up: a moment, for a racer preempted between its two steps.
    uint32_t foldWaitMicroseconds = 2000;
};

class RecordConsumerSide;

// The producer half is Reserve and Commit; the writer thread works through a RecordConsumerSide;
// the rest is for the configuration that owns the ring (start, file switches, stop, the crash path).
class RecordQueue {
public:
    // Creates both events (may throw, see XThreads_RawEvent); no storage yet (capacity 0).
    explicit RecordQueue(const RecordQueueOptions& options = {});
    // Deletes the consumer, returns the ring's pages to the system, destroys the done and the wake
    // event. Only once the writer has ended (see Stop).
    ~RecordQueue();
    RecordQueue(const RecordQueue&) = delete;
    RecordQueue& operator=(const RecordQueue&) = delete;

    // --- producer half (any thread) ---

    // Reserves the next slot, or null: without storage or once stopping has begun (nothing
    // counted), or when the ring is really full (the lost count grows). A reservation that leaves
    // the free count at a quarter of the capacity or less takes in the records the writer released
    // meanwhile; a producer that finds the ring short takes them in first, and waits a moment for
    // another that is taking them in just then.
    TraceRecord* Reserve() {
        // Inline, the common case: room above the quarter mark, and no racer between the load and the
        // interlocked step. Everything else takes the full path, which looks again from the start.
        uint64_t word = reservation_.load(std::memory_order_relaxed);
        if (capacity != 0 && stopFlag.load(std::memory_order_relaxed) == 0 && FreeOf(word) > capacity / 4 + 1 &&
            reservation_.compare_exchange_strong(word, word - 1 + kIndexUnit, std::memory_order_seq_cst,
                                                 std::memory_order_relaxed)) {
            return &records[(IndexOf(word) + 1) & (capacity - 1)];
        }
        return ReserveSlowly();
    }

    // Publishes a filled slot to the writer (release) as `kind` (kRecordText or kRecordCaptured) and
    // wakes the writer when it sleeps.
    void Commit(TraceRecord* record, uint32_t kind = kRecordText) {
        // A release store suffices for the record: the handshake with a writer going to sleep rests on
        // this thread's reservation, a sequentially consistent read-modify-write of the reservation
        // word, and on the sequentially consistent load of the writer's flag below (see
        // PrepareToSleep). On x86 that load is a plain move: the commit needs no barrier of its own.
        record->ready.value.store(kind, std::memory_order_release);
        if (writerSleeping_.load(std::memory_order_seq_cst) != 0) WakeSleepingWriter();
        // Fetch the first lines of a slot this thread is likely to fill soon, for writing, while it
        // goes on with other work: the slot after next, because with two threads tracing in turn the
        // next slot is the other one's, and taking its lines away would slow that thread down. A
        // single thread still finds every slot fetched, two calls ahead.
        const TraceRecord* ahead = &records[(static_cast<uint32_t>(record - records) + 2) & (capacity - 1)];
        __builtin_prefetch(ahead, 1);
        __builtin_prefetch(ahead->text, 1);
    }

    // --- the owner ---

    // Maps the ring for the requested size straight from the system and opens it to producers.
    // False when the storage cannot be obtained.
    bool AllocateRecords(uint32_t requestedSize);
    // Hands the ring its writer, which it owns from now on and deletes with itself.
    void AttachConsumer(RecordConsumer* consumer) { consumer_ = consumer; }
    // The writer thread's id, 0 without a writer.
    uint32_t ConsumerThreadId() const { return consumer_ != nullptr ? consumer_->ConsumerThreadId() : 0; }
    // The ring position the next reserved record takes: the count of reservations so far.
    uint32_t NextReservedPosition() const { return WriteIndex() + 1; }
    // The position of the next record the writer takes: the count of records it handed back.
    uint32_t ReadPosition() const { return readIndex.Load(); }
    // The read position when the writer last had the output of every record it handed back in the
    // file.
    uint32_t WrittenOutPosition() const { return writtenIndex.Load(); }
    // Wakes the writer (a scheduled file switch, a drain on the crash path).
    void WakeWriter() { wakeEvent.Set(); }
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
    // Set by the stopping thread before Stop when the process is ending: a writer thread found gone
    // then was ended by the system, perhaps in the middle of a write (see CWriteBehinderThread::Finish).
    void MarkProcessEnding() { processEnding = true; }
    // For the crash path: wakes the writer and waits until the output of every record reserved
    // before the call is written out, the counter passes `deadline`, or the written-out position
    // stays the same for kDrainStallMilliseconds (a record that is never committed, a stuck writer).
    void DrainUntil(uint64_t deadline);

private:
    friend class RecordConsumerSide;
    friend struct RecordQueuePeer;  // the tests' view of the counters

    // The slot the writer reads next, committed or not.
    TraceRecord& NextSlot() { return records[readIndex.Load() & (capacity - 1)]; }
    // What the writer found when it marked itself sleeping: no slot reserved beyond those it took
    // (it may sleep until woken), a reserved slot whose record is not ready yet (it must not sleep
    // for good), or the next record ready (it drains again).
    enum class SleepCheck { kNothingReserved, kReservedNotReady, kRecordReady };
    // Called by the writer before it sleeps: sets the sleeping flag and looks for reservations.
    SleepCheck PrepareToSleep(const TraceRecord& next);

    static constexpr uint32_t kWriterRunning = 0;
    static constexpr uint32_t kWriterEnded = 1;
    static constexpr uint32_t kWriterAbandoned = 2;

    PaddedCounter readIndex;
    // The read position when the writer last had every released record's output in the file.
    PaddedCounter writtenIndex;
    // The reservation word: the write index (the position of the last reserved slot) in its high
    // half, the free count in its low half, so that one interlocked step takes a slot. The free count
    // never drops below three here: a reservation that would take it lower is refused. The writer
    // reads this cache line only as it goes to sleep (PrepareToSleep).
    static constexpr uint64_t kIndexUnit = uint64_t{1} << 32;
    static uint32_t IndexOf(uint64_t word) { return static_cast<uint32_t>(word >> 32); }
    static uint32_t FreeOf(uint64_t word) { return static_cast<uint32_t>(word); }
    uint32_t WriteIndex() const { return IndexOf(reservation_.load(std::memory_order_relaxed)); }
    // Takes the released count into the free count; true when it took any.
    bool FoldReleased();
    // Reserve's full path: the checks, the fold, the wait for a fold in progress, the refusal.
    TraceRecord* ReserveSlowly();
    // Signals the wake event when this commit is the one that takes the writer's sleeping flag, so
    // that a burst of commits makes at most one system call.
    void WakeSleepingWriter();

    alignas(64) std::atomic<uint64_t> reservation_{0xFFFFFFFFull << 32};
    // Producers taking the released count into the free count just now. A producer that finds the
    // ring short while this is not zero waits for them instead of refusing.
    AtomicCounter folding;
    PaddedCounter lostCount;
    PaddedCounter releasedCount;  // written by the writer, read by producers when the free count runs low
    uint32_t capacity = 0;
    TraceRecord* records = nullptr;
    XThreads_RawEvent wakeEvent;
    RecordConsumer* consumer_ = nullptr;  // owned; deleted with the ring
    std::atomic<uint32_t> stopFlag{0};
    XThreads_RawEvent doneEvent;
    RecordQueueOptions options_;
    bool processEnding = false;
    std::atomic<uint32_t> writerState_{kWriterRunning};

    // 1 while the writer sleeps (or is about to) and nobody has signalled it yet. Commits signal the
    // wake event only when they take this flag from 1 to 0, so a commit makes no system call while
    // the writer is awake or already signalled.
    alignas(64) std::atomic<uint32_t> writerSleeping_{0};
};

// What the writer thread may do with its ring: take committed records in ring order and hand them
// back, sleep and wake, take the lost count, report its output current, and end.
class RecordConsumerSide {
public:
    explicit RecordConsumerSide(RecordQueue& queue) : queue_(queue) {}

    const RecordQueueOptions& Options() const { return queue_.options_; }

    // The next record in ring order when it is committed, else null.
    TraceRecord* TakeNext() {
        TraceRecord& record = queue_.NextSlot();
        return record.ready.value.load(std::memory_order_acquire) != 0 ? &record : nullptr;
    }
    // Hands a record taken by TakeNext back: clears its ready flag and moves the read position on.
    // Only this side writes the read position, so a plain store does. The slot reaches the released
    // count (a producer takes it into the free count when the ring runs low) in a batch: every
    // kReleaseBatch records and at ReportReleased, so that the writer pays one interlocked step per
    // batch instead of one per record.
    void Release(TraceRecord* record) {
        record->ready.value.store(0, std::memory_order_release);
        queue_.readIndex.value.store(queue_.readIndex.value.load(std::memory_order_relaxed) + 1,
                                     std::memory_order_release);
        if (++unreported_ == kReleaseBatch) ReportReleased();
    }
    // Adds the slots handed back since the last report to the released count. The writer reports
    // whenever its output is current (see MarkOutputCurrent), before it sleeps in particular.
    void ReportReleased() {
        if (unreported_ == 0) return;
        queue_.releasedCount.Add(unreported_);
        unreported_ = 0;
    }
    // The slot the writer reads next, committed or not.
    TraceRecord& NextSlot() { return queue_.NextSlot(); }
    // For a thread taking over from a writer that ended inside Release after clearing the slot:
    // Release's last step, moving the read position on.
    void FinishRelease() {
        ++unreported_;
        queue_.readIndex.Increment();
    }
    uint32_t ReadPosition() const { return queue_.readIndex.Load(); }
    // Whether a slot was reserved that the writer has not released yet.
    bool HasReservedRecords() const { return queue_.WriteIndex() + 1 != queue_.readIndex.Load(); }

    bool Stopping() const { return queue_.Stopping(); }
    bool ProcessEnding() const { return queue_.processEnding; }

    // Sleeps on the wake event until a commit signals it when no slot is reserved beyond those taken
    // (see PrepareToSleep); when one is reserved and its record is not ready, watches it briefly and
    // then waits with a timeout at most (AwaitReservedRecord). Marks the writer awake afterwards.
    // The flag is written only when it is set, so a writer that never slept leaves the producers'
    // copy of its cache line alone.
    void SleepUntilWoken(const TraceRecord& next);
    void MarkAwake() {
        if (queue_.writerSleeping_.load(std::memory_order_relaxed) != 0) {
            queue_.writerSleeping_.store(0, std::memory_order_relaxed);
        }
    }

    // Records refused since the last report, for a report that takes them.
    uint32_t LostCount() const { return queue_.lostCount.Load(); }
    // Takes the lost count in one exchange: a refusal counted meanwhile stays for the next report.
    uint32_t TakeLostCount() { return queue_.lostCount.Exchange(0); }
    // Counts a record that a drain had to leave behind.
    void CountLost() { queue_.lostCount.Increment(); }

    // Called each time the output of every record released so far is in the file: moves the
    // written-out position up to the read position.
    void MarkOutputCurrent() {
        ReportReleased();
        queue_.writtenIndex.Store(queue_.readIndex.Load());
    }

    // The writer's last steps: signals the stopping thread, then MarkWriterEnded: true when the
    // stopping thread still owns the ring (the writer must touch nothing of it afterwards); false
    // when the stopping thread gave up waiting and the writer must free the owner itself.
    void SignalDone() { queue_.doneEvent.Set(); }
    bool MarkWriterEnded() {
        uint32_t running = RecordQueue::kWriterRunning;
        return queue_.writerState_.compare_exchange_strong(running, RecordQueue::kWriterEnded,
                                                           std::memory_order_acq_rel);
    }
    // For the stopping thread in Finish: waits up to `milliseconds` for the writer's signal.
    void AwaitDone(uint32_t milliseconds) { queue_.doneEvent.Wait(milliseconds); }
    // The stopping thread gives up waiting: true when the writer is still running and now owns the
    // ring; false when it ended meanwhile.
    bool AbandonWriter() {
        uint32_t running = RecordQueue::kWriterRunning;
        return queue_.writerState_.compare_exchange_strong(running, RecordQueue::kWriterAbandoned,
                                                           std::memory_order_acq_rel);
    }
    bool WriterEnded() const {
        return queue_.writerState_.load(std::memory_order_acquire) == RecordQueue::kWriterEnded;
    }

private:
    static constexpr uint32_t kReleaseBatch = 32;
    // How long the writer watches a reserved slot for its record before it waits with a timeout, and
    // the longest of those waits.
    static constexpr uint32_t kReservedWatchMicroseconds = 50;
    static constexpr uint32_t kReservedWaitLimitMilliseconds = 100;

    // Watches a reserved slot whose record is not ready yet, then waits for a signal with a timeout
    // of 1 ms, doubled each time the same slot is still not ready, up to 100 ms. Returns as soon as
    // the record is ready or a stop is requested, or after the wait; the drain loop looks again.
    void AwaitReservedRecord(const TraceRecord& next);

    RecordQueue& queue_;
    uint32_t unreported_ = 0;  // slots handed back and not yet in the released count
    // The read position of the last timed wait for a reserved record, and that wait's timeout.
    uint32_t reservedWaitPosition_ = 0;
    uint32_t reservedWaitMilliseconds_ = 0;
};

}  // namespace vextrel
