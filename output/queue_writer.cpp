// The consumer side of a record queue: the writer thread's drain loop, the dispatch of each line to
// the file, the console and the clients, the lost-output report and the closing line.
#include "output/queue_writer.h"

#include <cstdio>
#include <memory>
#include <thread>

#include "core/trace_config.h"
#include "core/trace_entry.h"
#include "host/host_info.h"
#include "output/file_writer.h"
#include "output/line_format.h"
#include "platform/clock.h"
#include "platform/thread.h"

namespace vextrel {
namespace {

constexpr uint32_t kShortLineCapacity = 256;

const char* const kClosingLine = "\n\n *** Vextrel Log Complete ***\n";

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
bool AwaitRecordBriefly(const TraceRecord& next, const std::atomic<uint32_t>& stopFlag, uint64_t pollTicks) {
    if (pollTicks == 0) return false;
    const uint64_t start = platform::ReadCounter();
    for (;;) {
        if (next.ready.value.load(std::memory_order_acquire) != 0) return true;
        if (stopFlag.load(std::memory_order_relaxed) != 0) return true;
        if (platform::ReadCounter() - start >= pollTicks) return false;
        std::this_thread::yield();
    }
}

}  // namespace

QueueWriter::QueueWriter(RecordQueue& queue, TraceConfig& owner) : queue_(queue), owner_(owner) {}

void QueueWriter::Run() {
    const uint64_t pollTicks = platform::CounterFrequency() * queue_.writerPollMicroseconds / 1000000u;
    while (!queue_.Stopping()) {
        const TraceRecord& next = queue_.NextSlot();
        if (!AwaitRecordBriefly(next, queue_.stopFlag, pollTicks) && queue_.PrepareToSleep(next)) {
            queue_.wakeEvent.Wait(platform::kWaitForever);
        }
        queue_.MarkAwake();
        while (TraceRecord* record = queue_.TakeNext()) {
            writing_.store(1, std::memory_order_relaxed);
            WriteRecordLine(owner_, *record);
            writing_.store(0, std::memory_order_release);
            queue_.Release(record);
            ReportLostOutput();
            if (queue_.Stopping()) break;
        }
    }
    DrainAtStop(queue_.stopWaitMilliseconds / 5 * 4);
    queue_.doneEvent.Set();
    if (queue_.MarkWriterEnded()) return;  // the stopping thread frees the ring: touch nothing more
    TraceConfig* owner = &owner_;
    DestroyConfig(owner);  // deletes the ring and this writer with it
}

void QueueWriter::DrainAtStop(uint32_t budgetMs) {
    const uint64_t start = platform::ReadCounter();
    const uint64_t budgetTicks = platform::CounterFrequency() * budgetMs / 1000u;
    while (queue_.HasReservedRecords()) {
        const bool late = platform::ReadCounter() - start >= budgetTicks;
        TraceRecord* record = queue_.TakeNext();
        if (record == nullptr) {
            if (late) break;
            std::this_thread::yield();  // reserved before the stop and still being filled
            continue;
        }
        if (late && budgetMs != 0) break;
        writing_.store(1, std::memory_order_relaxed);
        WriteRecordLine(owner_, *record);
        writing_.store(0, std::memory_order_release);
        queue_.Release(record);
        ReportLostOutput();
    }
    if (queue_.HasReservedRecords()) queue_.lostCount.Increment();
    ReportLostOutput();
    if (owner_.file.HasWriter()) {
        WriteShortLine(owner_.file, kClosingLine);
        owner_.file.Flush();
    }
}

void QueueWriter::ReportLostOutput() {
    if (queue_.lostCount.Load() == 0 || !owner_.file.HasWriter()) return;
    queue_.lostCount.Store(0);
    for (const char* text : kLostOutputLines) WriteShortLine(owner_.file, text);
    owner_.file.Flush();
}

bool QueueWriter::Finish() {
    const uint64_t start = platform::ReadCounter();
    const uint64_t waitTicks = platform::CounterFrequency() * queue_.stopWaitMilliseconds / 1000u;
    for (;;) {
        const bool ended = queue_.WriterEnded();
        const bool gone = !ended && GetHandle() != nullptr && !platform::ThreadStillActive(GetHandle());
        if (ended || gone) {
            // A thread that is gone (ended by the process's exit on Windows) leaves its ring to us.
            if (gone && writing_.load(std::memory_order_acquire) == 0) DrainAtStop(0);
            if (GetHandle() != nullptr) platform::AwaitThreadExit(GetHandle());
            return true;
        }
        if (platform::ReadCounter() - start >= waitTicks) {
            if (!queue_.AbandonWriter()) return true;
            platform::KeepLibraryLoaded();  // the writer goes on in this library's code
            return false;
        }
        queue_.doneEvent.Wait(5);
    }
}

void WriteRecordLine(TraceConfig& owner, TraceRecord& record) {
    // FormatRecordLine terminates the line and nothing reads past the terminator, so the buffer
    // is not cleared first.
    char line[kLineCapacity];
    const TimeBase timeBase{InstalledClockCallback() != nullptr, Host().counterFrequency};
    const int length = FormatRecordLine(record, owner.quiet.load(std::memory_order_relaxed), timeBase, line);
    if (record.toFile) owner.file.WriteAndFlush(line, length);
    if (record.toConsole) owner.console.Write(line, length);
    if (record.toClient) owner.client.Write(line, length);
}

void AttachWriterThread(RecordQueue& queue, TraceConfig& owner) {
    auto writer = std::make_unique<QueueWriter>(queue, owner);
    writer->Start();
    writer->SetPriority(3);
    queue.consumer = writer.release();
}

bool StartQueueWriter(RecordQueue& queue, uint32_t requestedSize, TraceConfig& owner) {
    if (!queue.AllocateRecords(requestedSize)) return false;
    AttachWriterThread(queue, owner);
    return true;
}

}  // namespace vextrel
