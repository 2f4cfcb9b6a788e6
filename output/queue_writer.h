// The consumer half of a record queue: the writer thread that takes committed records in ring
// order, formats each into its line and hands it to the file, the console and the clients, reports
// lost output and ends the trace file with the closing line.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/record_queue.h"
#include "output/raw_thread.h"

namespace vextrel {

class TraceConfig;

// The writer thread of one ring, writing for the configuration that owns the ring.
class QueueWriter final : public XThreads_RawThread, public RecordConsumer {
public:
    QueueWriter(RecordQueue& queue, TraceConfig& owner);
    // Waits for commits and writes every consecutive committed record until the ring stops, then
    // drains it and ends the output. When the stopping thread gave up on it meanwhile, it deletes
    // its owner (and with it the ring and itself) as its last step.
    void Run() override;
    // Waits (the stop wait at most) for the thread to drain and end. A thread that is gone without
    // ending (ended by the system at process exit) has its ring drained here instead, unless it was
    // ended inside a write.
    bool Finish() override;

private:
    // Writes every record reserved before the stop, in ring order, for at most `budgetMs` (0: every
    // committed record, without waiting for one still being filled); reports what was left or lost
    // by the lost-output lines, then writes the closing line into the trace file.
    void DrainAtStop(uint32_t budgetMs);
    // Writes the lost-output lines once when records were refused since the last report.
    void ReportLostOutput();

    RecordQueue& queue_;
    TraceConfig& owner_;
    // Set while a record is being written, so a drain on another thread after this one was ended by
    // the system never waits for a lock it held.
    std::atomic<uint32_t> writing_{0};
};

// Formats one record into its line and hands it to the accepting tracers of `owner`.
void WriteRecordLine(TraceConfig& owner, TraceRecord& record);

// Starts a writer thread at normal priority for a ring whose storage is allocated; the ring owns it.
// Throws when the system refuses the thread.
void AttachWriterThread(RecordQueue& queue, TraceConfig& owner);

// Allocates the ring for the requested size and starts its writer thread. False when the storage
// cannot be obtained; throws when the system refuses the thread.
bool StartQueueWriter(RecordQueue& queue, uint32_t requestedSize, TraceConfig& owner);

}  // namespace vextrel
