// The consumer side of a record queue: the writer thread's drain loop, the dispatch of each line to
// the file, the console and the clients, the lost-output report and the closing line.
#include <cstdio>
#include <new>
#include <thread>

#include "core/manager.h"
#include "core/record_queue.h"
#include "core/trace_config.h"
#include "core/trace_entry.h"
#include "host/host_info.h"
#include "output/line_format.h"
#include "output/raw_thread.h"
#include "platform/clock.h"
#include "platform/thread.h"

namespace vextrel {
namespace {

constexpr uint32_t kStopRequested = 0xFFFFFFFFu;
constexpr uint32_t kShortLineCapacity = 256;

const char* const kLostOutputLines[] = {
    "!!!***!!! The trace writer couldn't keep up with the incoming trace requests.\n",
    "!!!***!!! Some of your trace output has been lost.  Try decreasing the amount of\n",
    "!!!***!!! trace output you are logging, or increasing the size of the trace buffer.\n",
};

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

bool RecordQueue::StartWriter(uint32_t requestedSize, TraceConfig* queueOwner) {
    if (!AllocateRecords(requestedSize, queueOwner)) return false;
    writerThread = new CWriteBehinderThread(this);
    writerThread->Start();
    writerThread->SetPriority(3);
    return true;
}

void RecordQueue::Drain() {
    if (stopFlag.load(std::memory_order_relaxed) != 0) {
        doneEvent.Set();
        return;
    }
    const uint64_t pollTicks = platform::CounterFrequency() * writerPollMicroseconds / 1000000u;
    for (;;) {
        const TraceRecord& next = records[readIndex.Load() & (capacity - 1)];
        if (!AwaitRecordBriefly(next, stopFlag, pollTicks) && PrepareToSleep(next)) {
            wakeEvent.Wait(platform::kWaitForever);
        }
        MarkAwake();
        if (stopFlag.load(std::memory_order_relaxed) != 0) break;
        for (;;) {
            TraceRecord& record = records[readIndex.Load() & (capacity - 1)];
            if (record.ready.value.load(std::memory_order_acquire) == 0) break;
            WriteRecord(record);
            record.ready.value.store(0, std::memory_order_release);
            ReleaseRecord();
            readIndex.Increment();
            if (lostCount.Load() != 0 && owner->file.HasWriter()) {
                lostCount.Store(0);
                for (const char* text : kLostOutputLines) WriteShortLine(owner->file, text);
                owner->file.Flush();
            }
            if (stopFlag.load(std::memory_order_relaxed) != 0) break;
        }
        if (stopFlag.load(std::memory_order_relaxed) != 0) break;
    }
    doneEvent.Set();
}

void RecordQueue::WriteRecord(TraceRecord& record) {
    // FormatRecordLine terminates the line and nothing reads past the terminator, so the buffer
    // is not cleared first.
    char line[kLineCapacity];
    const TimeBase timeBase{InstalledClockCallback() != nullptr, Host().counterFrequency};
    const int length = FormatRecordLine(record, owner->quiet.load(std::memory_order_relaxed), timeBase, line);
    if (record.toFile) {
        owner->file.Write(line, length);
        owner->file.Flush();
    }
    if (record.toConsole) owner->console.Write(line, length);
    if (record.toClient) owner->client.Write(line, length);
}

void RecordQueue::StopWriter() {
    stopFlag.store(kStopRequested, std::memory_order_relaxed);
    wakeEvent.Set();
    platform::SleepMilliseconds(10);
    if (writerThread != nullptr && writerThread->GetHandle() != nullptr &&
        platform::ThreadStillActive(writerThread->GetHandle())) {
        doneEvent.Wait(5000);
    }
    if (owner != nullptr && owner->file.HasWriter()) {
        WriteShortLine(owner->file, kClosingLine);
        owner->file.Flush();
    }
}

}  // namespace vextrel
