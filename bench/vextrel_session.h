// A running Vextrel configuration built in-process for the benchmarks: a published manager with one
// configuration whose file tracer takes the traced facility at every priority and writes a real
// trace file, with its record queue and writer thread.
#pragma once

#include <cstdint>
#include <string>

#include "core/trace_config.h"

namespace vextrel {
class CVextrelManager;
class RecordQueue;
}  // namespace vextrel

namespace vextrel::bench {

// The facility the session's file tracer takes; every other facility id is filtered out.
constexpr uint32_t kTracedFacility = 100;
// A facility id that no tracer has configured.
constexpr uint32_t kFilteredFacility = 101;

class VextrelSession {
public:
    // Opens a trace file named after `baseName` in `folder`, creates the queue for `queueSize`
    // records, starts its writer unless `startWriter` is false, and publishes the manager.
    VextrelSession(const std::string& folder, const char* baseName, uint32_t queueSize = kDefaultQueueSize,
                   bool startWriter = true);
    // Withdraws and destroys the manager: the writer stops and the closing line is written.
    ~VextrelSession();
    VextrelSession(const VextrelSession&) = delete;
    VextrelSession& operator=(const VextrelSession&) = delete;

    // Publishes this session's manager again (after another session published its own).
    void Publish();

    // Starts the writer thread of a session made with startWriter false.
    void StartWriterThread();

    // Waits (at most `timeoutSeconds`) until the writer has written every record reserved so far;
    // returns the number of records it has written since the session started.
    uint64_t WaitUntilDrained(double timeoutSeconds = 30.0);

    // Records whose lines the writer has written out so far.
    uint64_t RecordsWritten() const;

    // Whether the file tracer has an open trace file.
    bool HasTraceFile() const;

    TraceConfig& Config() { return *config_; }
    RecordQueue& Queue() { return *queue_; }

private:
    CVextrelManager* manager_ = nullptr;
    TraceConfig* config_ = nullptr;
    RecordQueue* queue_ = nullptr;
};

// Sets the counter frequency that turns timestamps into microseconds, unless the host probe did.
void EnsureCounterFrequency();

}  // namespace vextrel::bench
