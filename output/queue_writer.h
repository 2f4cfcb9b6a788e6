// The consumer half of a record queue: the writer thread that takes committed records in ring
// order, formats each into its line and hands it to the file, the console and the clients, reports
// lost output and ends the trace file with the closing line. File lines are gathered in the
// writer's own buffer and written out with one write whenever the ring runs dry, so the file is
// current each time the writer waits.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/raw_thread.h"
#include "core/record_queue.h"
#include "output/line_format.h"

namespace vextrel {

class TraceConfig;

// The writer thread of one ring, writing for the configuration that owns the ring.
class CWriteBehinderThread final : public XThreads_RawThread, public RecordConsumer {
public:
    CWriteBehinderThread(RecordQueue& queue, TraceConfig& owner);
    // Waits for commits and writes every consecutive committed record until the ring stops, then
    // drains it and ends the output. Changes trace files where a switch was scheduled. When the
    // stopping thread gave up on it meanwhile, it retires its owner (and with it the ring and
    // itself) as its last step.
    void Run() override;
    // Waits (until the deadline) for the thread to drain and end. When the thread is gone without
    // ending (ended by the system at process exit, or by an exception from a client), the calling
    // thread takes over and drains the ring into the trace file itself (see FinishTakenOver). Past
    // the deadline: at process exit a thread held up outside the trace file is taken over the same
    // way; during an unload no client is called again, and where the unload would unmap the
    // library's code (Linux) the thread is waited for until it ends; otherwise it is abandoned and
    // writes the rest, the loss report and the closing line itself.
    bool Finish(uint64_t deadlineTicks) override;
    uint32_t ConsumerThreadId() const override { return ThreadId(); }

private:
    // Where the writer thread is, kept in step_ so that a thread taking over knows what it left
    // unfinished: the low kStepBits hold the step, the bits above them the read position of the
    // record in hand.
    static constexpr uint32_t kStepBits = 3;
    static constexpr uint32_t kIdle = 0;          // no record, report or closing line begun
    static constexpr uint32_t kFileLine = 1;      // formatting the record in hand, adding its file line
    static constexpr uint32_t kOtherOutputs = 2;  // file line added; console, clients
    static constexpr uint32_t kLossReport = 3;    // adding the lost-output lines
    static constexpr uint32_t kClosing = 4;       // writing the closing line
    static constexpr uint32_t kSwitching = 5;     // ending the old trace file, beginning the new one
    static constexpr uint32_t kHandingBack = 6;   // back from the console and clients, handing the record back
    static constexpr uint32_t kTakenOver = 7;     // another thread drains: the writer thread writes no more

    // Writes every record reserved before the stop, in ring order, for at most `budgetMs` (0: every
    // committed record, without waiting for one still being filled); reports what was left or lost
    // by the lost-output lines, then writes the closing line into the trace file. False (on the
    // writer thread) when another thread took over meanwhile.
    bool DrainAtStop(uint32_t budgetMs, bool writerThread);
    // Adds the record's line to the file's lines, and on the writer thread writes it to the console
    // and the clients too (writing out the file's lines first, so a client finds the file current),
    // then hands the record back. False (on the writer thread) once another thread took over:
    // nothing is written then.
    bool WriteRecord(TraceRecord& record, bool writerThread);
    // The record's line as the trace file gets it; returns its length.
    int FormatLine(const TraceRecord& record, char (&line)[kLineCapacity]) const;
    // When the read position reached the file switch scheduled for the owner's file tracer: reports
    // what was lost, ends the old file with the closing line, then makes the new file current and
    // writes its header. False as WriteRecord.
    bool SwitchFileIfDue(bool writerThread);
    // Adds the lost-output lines once when records were refused since the last report. False as
    // WriteRecord.
    bool ReportLostOutput(bool writerThread);
    // Moves the writer thread from kIdle to `step` for the record at the read position; false once
    // another thread took over. Nothing (true) off the writer thread.
    bool Begin(uint32_t step, bool writerThread);
    void End(bool writerThread) {
        if (writerThread) step_.store(kIdle, std::memory_order_release);
    }
    // `step` tagged with the current read position.
    uint32_t Tagged(uint32_t step) const { return step | (ring_.ReadPosition() << kStepBits); }

    // For a writer thread stopped for good in `stoppedIn` (see StopEndedThread and
    // TakeOverRunningThread): finishes what it left in the middle, then drains the ring into the
    // trace file, reports what was lost and writes the closing line. At process exit the file's
    // stream is bypassed first, since a thread ended by the system may hold its lock.
    void FinishTakenOver(uint32_t stoppedIn);
    // At process exit, for a writer thread still running but held up outside the trace file (idle,
    // or in the console or a client's callback): stops it for good and finishes for it. False when
    // it stayed inside a file step for kSettleLimitMilliseconds (it is left alone then).
    bool TakeOverRunningThread();
    // Leaves the ring to the writer thread, still running after the stop wait (see
    // AwaitAbandonedWriters); false when it ended meanwhile.
    bool AbandonThread();
    // The system may let a thread it ended at process exit run a little longer. An idle thread is
    // stopped at once (it cannot begin anything afterwards); one in the middle of a step counts as
    // stopped once its step stayed the same for kSettleMilliseconds, or after kSettleLimitMilliseconds.
    // Returns the tagged step it stopped in.
    uint32_t StopEndedThread();

    // Adds a line to the file's lines as the file gets it (FileTracer::PrepareLine). The caller
    // made room for it (MakeRoom); what would not fit is cut.
    void AppendFileLine(const char* line, int32_t length);
    // Writes out the file's lines unless fewer than `bytes` are free. Never inside a step that adds
    // lines: a thread taking over undoes such a step's lines by the mark the step began at.
    void MakeRoom(size_t bytes) {
        if (kBatchCapacity - batchLength_ < bytes) WriteOut();
    }
    // Writes the file's lines with one write and flush, then tells the ring that the output of every
    // record handed back so far is in the file.
    void WriteOut();

    RecordConsumerSide ring_;
    TraceConfig& owner_;
    std::atomic<uint32_t> step_{kIdle};

    // The file's lines not written out yet. A partly written block is finished by a thread taking
    // over by comparing it with the file's end, which is why the block stays within what that
    // comparison reads (platform::kFileEndCapacity, a newline taking two bytes on Windows).
    static constexpr size_t kBatchCapacity = 16384;
    char batch_[kBatchCapacity];
    size_t batchLength_ = 0;
    // batchLength_ when the step in hand began adding lines.
    size_t batchMark_ = 0;
};

// Waits, without a bound, until every writer thread that outlived its stop wait and was left to end
// by itself (where the unload can wait for threads, see platform::UnloadCanWaitForThreads) has
// ended: an unload calls it before the library's code goes.
void AwaitAbandonedWriters();

// Starts a writer thread at normal priority for a ring whose storage is allocated; the ring owns it.
// Throws when the system refuses the thread.
void AttachWriterThread(RecordQueue& queue, TraceConfig& owner);

// Allocates the ring for the requested size and starts its writer thread. False when the storage
// cannot be obtained; throws when the system refuses the thread.
bool StartQueueWriter(RecordQueue& queue, uint32_t requestedSize, TraceConfig& owner);

}  // namespace vextrel
