// The consumer half of a record queue: the writer thread that takes committed records in ring
// order, formats each into its line and hands it to the file, the console and the clients, reports
// lost output and ends the trace file with the closing line.
#pragma once

#include <cstdint>

#include "core/record_queue.h"
#include "output/raw_thread.h"

namespace vextrel {

class TraceConfig;

// The writer thread of one ring, writing for the configuration that owns the ring.
class QueueWriter final : public XThreads_RawThread, public RecordConsumer {
public:
    QueueWriter(RecordQueue& queue, TraceConfig& owner);
    // Waits for commits and writes every consecutive committed record until the ring stops.
    void Run() override;
    // Waits (about 5 s at most) for the thread to see the stop flag, then writes the closing line
    // into the trace file.
    void Finish() override;

private:
    RecordQueue& queue_;
    TraceConfig& owner_;
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
