// The consumer side of a record queue: the writer thread's drain loop, the dispatch of each line to
// the file, the console and the clients, the lost-output report and the closing line.
#include "output/queue_writer.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "core/reclaim.h"
#include "core/trace_config.h"
#include "core/trace_entry.h"
#include "host/host_info.h"
#include "output/file_writer.h"
#include "output/line_format.h"
#include "output/user_name_scrub.h"
#include "platform/clock.h"
#include "platform/stack.h"
#include "platform/thread.h"

namespace vextrel {
namespace {

constexpr uint32_t kShortLineCapacity = 256;

const char* const kClosingLine = "\n\n *** Vextrel Log Complete ***\n";
const char* const kClientThrewLine = " *** Vextrel: a trace client threw an exception and was removed ***\n";

// Formats a fixed line into its own 256-byte buffer and writes it through the file tracer.
void WriteShortLine(FileTracer& file, const char* text) {
    char line[kShortLineCapacity];
    const int length = std::snprintf(line, sizeof line, "%s", text);
    file.Write(line, length < static_cast<int>(sizeof line) ? length : static_cast<int>(sizeof line) - 1);
}

// Watches the next slot for up to `pollTicks` counter ticks after the ring ran dry; true as soon as
// the record there is committed or a stop is requested. Under a steady trickle of trace calls the
// next record usually arrives meanwhile, and a writer that is awake costs the trace call no system
// call. Yielding keeps the watch polite to the producers on a busy machine.
bool AwaitRecordBriefly(const TraceRecord& next, const RecordConsumerSide& ring, uint64_t pollTicks) {
    if (pollTicks == 0) return false;
    const uint64_t start = platform::ReadCounter();
    for (;;) {
        if (next.ready.value.load(std::memory_order_acquire) != 0) return true;
        if (ring.Stopping()) return true;
        if (platform::ReadCounter() - start >= pollTicks) return false;
        std::this_thread::yield();
    }
}

}  // namespace

namespace {

// Writers the stopping thread gave up on that have not ended yet (see AwaitAbandonedWriters).
std::atomic<uint32_t> g_abandonedWriters{0};

}  // namespace

// How long a writer thread ended by the system must stay in one step to count as stopped, and how
// long a thread taking over waits for that at most.
constexpr uint32_t kSettleMilliseconds = 20;
constexpr uint32_t kSettleLimitMilliseconds = 500;

CWriteBehinderThread::CWriteBehinderThread(RecordQueue& queue, TraceConfig& owner) : ring_(queue), owner_(owner) {}

void CWriteBehinderThread::Run() {
    const uint64_t pollTicks = platform::CounterFrequency() * ring_.Options().writerPollMicroseconds / 1000000u;
    while (!ring_.Stopping()) {
        if (!SwitchFileIfDue(true)) return;  // taken over
        const TraceRecord& next = ring_.NextSlot();
        if (AwaitRecordBriefly(next, ring_, pollTicks)) {
            ring_.MarkAwake();
        } else {
            ring_.SleepUntilWoken(next);
        }
        for (;;) {
            if (!SwitchFileIfDue(true)) return;
            TraceRecord* record = ring_.TakeNext();
            if (record == nullptr) break;
            if (!WriteRecord(*record, true) || !ReportLostOutput(true)) return;
            if (ring_.Stopping()) break;
        }
        // Out of committed records: the file is made current before the writer waits.
        WriteOut();
    }
    if (!DrainAtStop(ring_.Options().stopWaitMilliseconds / 5 * 4, true)) return;
    ring_.SignalDone();
    if (ring_.MarkWriterEnded()) return;  // the stopping thread frees the ring: touch nothing more
    // Trace calls that found the configuration before it was stopped may still be reading it.
    Retire(&owner_);  // frees the ring and this writer with it
    // Counted by AbandonThread before it handed the ring over, where an unload waits for writers.
    if (platform::UnloadCanWaitForThreads()) g_abandonedWriters.fetch_sub(1, std::memory_order_acq_rel);
}

void AwaitAbandonedWriters() {
    while (g_abandonedWriters.load(std::memory_order_acquire) != 0) platform::SleepMilliseconds(5);
}

bool CWriteBehinderThread::SwitchFileIfDue(bool writerThread) {
    std::unique_ptr<FileSwitch> due = owner_.file.TakeSwitchDue(ring_.ReadPosition());
    if (due == nullptr) return true;
    if (!ReportLostOutput(writerThread)) return false;
    WriteOut();
    if (!Begin(kSwitching, writerThread)) return false;
    if (owner_.file.HasWriter()) {
        WriteShortLine(owner_.file, kClosingLine);
        owner_.file.Flush();
    }
    owner_.file.SetWriter(std::move(due->writer));
    for (std::string& line : due->header) owner_.file.Write(line.data(), static_cast<int32_t>(line.size()));
    owner_.file.Flush();
    End(writerThread);
    return true;
}

bool CWriteBehinderThread::Begin(uint32_t step, bool writerThread) {
    if (!writerThread) return true;
    uint32_t idle = kIdle;
    return step_.compare_exchange_strong(idle, Tagged(step), std::memory_order_acq_rel);
}

int CWriteBehinderThread::FormatLine(const TraceRecord& record, char (&line)[kLineCapacity]) const {
    // FormatRecordLine terminates the line and nothing reads past the terminator, so the buffer
    // is not cleared first.
    const TimeBase timeBase{InstalledClockCallback() != nullptr, Host().counterFrequency};
    return FormatRecordLine(record, owner_.quiet.load(std::memory_order_relaxed), timeBase, line);
}

void CWriteBehinderThread::AppendFileLine(const char* line, int32_t length) {
    char scrubbed[kScrubbedLineCapacity];
    const std::string_view text = owner_.file.PrepareLine(line, length, scrubbed, sizeof scrubbed);
    if (text.empty()) return;  // no file, or nothing to add
    const size_t room = kBatchCapacity - batchLength_;
    const size_t taken = text.size() < room ? text.size() : room;
    std::memcpy(batch_ + batchLength_, text.data(), taken);
    batchLength_ += taken;
}

void CWriteBehinderThread::WriteOut() {
    if (batchLength_ != 0) {
        owner_.file.WriteBlock(batch_, batchLength_);
        batchLength_ = 0;
    }
    ring_.MarkOutputCurrent();
}

bool CWriteBehinderThread::WriteRecord(TraceRecord& record, bool writerThread) {
    if (record.toFile) MakeRoom(kScrubbedLineCapacity);
    batchMark_ = batchLength_;
    if (!Begin(kFileLine, writerThread)) return false;
    // Where a taken record becomes its line: a record that holds a stored format and its arguments
    // is formatted into it here.
    char line[kLineCapacity];
    const int length = FormatLine(record, line);
    if (record.toFile) AppendFileLine(line, length);
    // A client that crashes the writer thread or never returns finds the file current, this line
    // included. The write-out belongs to the file step: a thread taking over finishes it by
    // comparing the gathered lines with the file's end.
    if (record.toClient && writerThread) WriteOut();
    uint32_t throwingClients = 0;
    if (writerThread && !record.toConsole && !record.toClient) {
        // Nothing outside this library runs for this record, so no thread takes over in the middle
        // of it (see TakeOverRunningThread): the hand-back step is marked without an interlocked step.
        step_.store(Tagged(kHandingBack), std::memory_order_release);
    } else if (writerThread) {
        uint32_t outputs = Tagged(kOtherOutputs);
        step_.store(outputs, std::memory_order_release);
        if (record.toConsole) owner_.console.Write(line, length);
        if (record.toClient) owner_.client.Write(line, length);
        // A client may have held this thread past the stop wait at process exit: the exiting thread
        // then took the ring over, and this thread touches nothing of it any more.
        if (!step_.compare_exchange_strong(outputs, Tagged(kHandingBack), std::memory_order_acq_rel)) return false;
        throwingClients = owner_.client.TakeThrowingClients();
    }
    ring_.Release(&record);
    End(writerThread);
    for (; throwingClients != 0; --throwingClients) {
        MakeRoom(kScrubbedLineCapacity);
        AppendFileLine(kClientThrewLine, -1);
    }
    return true;
}

bool CWriteBehinderThread::DrainAtStop(uint32_t budgetMs, bool writerThread) {
    const uint64_t start = platform::ReadCounter();
    const uint64_t budgetTicks = platform::CounterFrequency() * budgetMs / 1000u;
    while (ring_.HasReservedRecords()) {
        const bool late = platform::ReadCounter() - start >= budgetTicks;
        TraceRecord* record = ring_.TakeNext();
        if (record == nullptr) {
            if (late) break;
            std::this_thread::yield();  // reserved before the stop and still being filled
            continue;
        }
        if (late && budgetMs != 0) break;
        if (!SwitchFileIfDue(writerThread)) return false;
        if (!WriteRecord(*record, writerThread) || !ReportLostOutput(writerThread)) return false;
    }
    if (ring_.HasReservedRecords()) ring_.CountLost();
    if (!SwitchFileIfDue(writerThread) || !ReportLostOutput(writerThread)) return false;
    WriteOut();
    if (owner_.file.HasWriter()) {
        if (!Begin(kClosing, writerThread)) return false;
        WriteShortLine(owner_.file, kClosingLine);
        owner_.file.Flush();
        End(writerThread);
    }
    return true;
}

bool CWriteBehinderThread::ReportLostOutput(bool writerThread) {
    if (ring_.LostCount() == 0 || !owner_.file.HasWriter()) return true;
    MakeRoom(3 * kScrubbedLineCapacity);
    batchMark_ = batchLength_;
    if (!Begin(kLossReport, writerThread)) return false;
    // Taken in one exchange: a refusal counted meanwhile stays for the next report.
    if (ring_.TakeLostCount() == 0) {
        End(writerThread);
        return true;
    }
    for (const char* text : kLostOutputLines) AppendFileLine(text, -1);
    End(writerThread);
    return true;
}

bool CWriteBehinderThread::Finish(uint64_t deadlineTicks) {
    if (deadlineTicks == 0) {
        deadlineTicks =
            platform::ReadCounter() + platform::CounterFrequency() * ring_.Options().stopWaitMilliseconds / 1000u;
    }
    bool pastWait = false;
    for (;;) {
        const bool ended = ring_.WriterEnded();
        const bool gone = !ended && GetHandle() != nullptr && !platform::ThreadStillActive(GetHandle());
        if (ended || gone) {
            // A thread that is gone (ended by the process's exit on Windows) leaves its ring to us.
            if (gone) FinishTakenOver(StopEndedThread());
            if (GetHandle() != nullptr) platform::AwaitThreadExit(GetHandle());
            return true;
        }
        if (!pastWait && platform::ReadCounter() >= deadlineTicks) {
            pastWait = true;
            // At process exit a thread held up outside this library (a client's callback) leaves
            // the ring to the exiting thread, which writes what was committed into the file.
            if (ring_.ProcessEnding() && TakeOverRunningThread()) return true;
            const bool unloading = !ring_.ProcessEnding() && platform::LibraryUnloadUnderWay();
            // No client is called once the unload returns; a call already running finishes.
            if (unloading) owner_.client.RemoveAllClients();
            // Where the unload would unmap the code under it, the writer is waited for: it comes
            // back from the call that holds it (a client's callback), writes the rest into the file
            // and ends.
            const bool waitOn = unloading && !platform::LibraryStaysLoaded() && platform::UnloadCanWaitForThreads();
            if (!waitOn) return !AbandonThread();
        }
        ring_.AwaitDone(5);
    }
}

bool CWriteBehinderThread::AbandonThread() {
    // It goes on in this library's code: a later unload waits for it, or the library stays loaded.
    // It is counted before the ring is handed over, so that the writer, which uncounts itself as its
    // last step, never finds the count without itself.
    const bool counted = platform::UnloadCanWaitForThreads();
    if (counted) g_abandonedWriters.fetch_add(1, std::memory_order_acq_rel);
    if (!ring_.AbandonWriter()) {
        if (counted) g_abandonedWriters.fetch_sub(1, std::memory_order_acq_rel);
        return false;
    }
    if (!counted) platform::KeepLibraryLoaded();
    return true;
}

bool CWriteBehinderThread::TakeOverRunningThread() {
    const uint64_t start = platform::ReadCounter();
    const uint64_t limitTicks = platform::CounterFrequency() * kSettleLimitMilliseconds / 1000u;
    for (;;) {
        // Only a thread that is outside the trace file (idle, or in the console or a client) is
        // stopped: one held up inside a write would finish it later, twice or interleaved.
        uint32_t seen = step_.load(std::memory_order_acquire);
        const uint32_t step = seen & ((1u << kStepBits) - 1);
        if ((step == kIdle || step == kOtherOutputs) &&
            step_.compare_exchange_strong(seen, kTakenOver, std::memory_order_acq_rel)) {
            FinishTakenOver(seen);
            return true;
        }
        if (platform::ReadCounter() - start >= limitTicks) return false;
        platform::SleepMilliseconds(1);
    }
}

uint32_t CWriteBehinderThread::StopEndedThread() {
    uint32_t seen = step_.load(std::memory_order_acquire);
    uint32_t waited = 0;
    for (;;) {
        if (seen != kIdle && waited < kSettleLimitMilliseconds) {
            platform::SleepMilliseconds(kSettleMilliseconds);
            waited += kSettleMilliseconds;
            const uint32_t now = step_.load(std::memory_order_acquire);
            if (now != seen) {
                seen = now;
                continue;
            }
        }
        // From here the writer thread cannot begin anything; a failure means it moved on meanwhile.
        if (step_.compare_exchange_strong(seen, kTakenOver, std::memory_order_acq_rel)) return seen;
    }
}

void CWriteBehinderThread::FinishTakenOver(uint32_t stoppedIn) {
    const uint32_t step = stoppedIn & ((1u << kStepBits) - 1);
    // At process exit the thread may have died inside the stream with its lock held and part of a
    // line in its buffer.
    if (ring_.ProcessEnding()) owner_.file.BypassStream();
    // A step that was adding lines is undone first: it is finished below.
    if (step == kFileLine || step == kLossReport) batchLength_ = batchMark_;
    if (step == kFileLine || step == kOtherOutputs || step == kHandingBack) {
        TraceRecord& inHand = ring_.NextSlot();
        const bool stillInHand = (stoppedIn >> kStepBits) == (Tagged(kIdle) >> kStepBits);
        if (stillInHand && inHand.ready.value.load(std::memory_order_acquire) == 0) {
            ring_.FinishRelease();  // ended inside Release, whose last step is this
        } else if (stillInHand) {
            if (step == kFileLine && inHand.toFile) {
                // Its line is not among the gathered ones (the step was undone above).
                char line[kLineCapacity];
                AppendFileLine(line, FormatLine(inHand, line));
            }
            ring_.Release(&inHand);
        }
    }
    // The lines the thread gathered, as far as the file lacks them: a write-out cut short (or one
    // finished within the step that was undone above) is completed, never repeated.
    if (batchLength_ != 0) owner_.file.WriteBlock(batch_, batchLength_, true);
    batchLength_ = 0;
    if (step == kLossReport || step == kClosing) {
        // The same lines again, less what reached the file.
        char lines[4 * kShortLineCapacity];
        int length = 0;
        if (step == kClosing) {
            length = std::snprintf(lines, sizeof lines, "%s", kClosingLine);
        } else {
            length = std::snprintf(lines, sizeof lines, "%s%s%s", kLostOutputLines[0], kLostOutputLines[1],
                                   kLostOutputLines[2]);
        }
        owner_.file.WriteMissingPart(lines, length < static_cast<int>(sizeof lines) ? length : 0);
        owner_.file.Flush();
        if (step == kClosing) return;
    }
    DrainAtStop(0, false);
}

void AttachWriterThread(RecordQueue& queue, TraceConfig& owner) {
    auto writer = std::make_unique<CWriteBehinderThread>(queue, owner);
    writer->Start();
    writer->SetPriority(3);
    queue.AttachConsumer(writer.release());
}

bool StartQueueWriter(RecordQueue& queue, uint32_t requestedSize, TraceConfig& owner) {
    if (!queue.AllocateRecords(requestedSize)) return false;
    AttachWriterThread(queue, owner);
    return true;
}

}  // namespace vextrel
