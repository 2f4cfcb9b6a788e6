// The writer's step over the ring, for tests that stand in for the writer thread.
#pragma once

#include <atomic>

#include "core/record_queue.h"

namespace vextrel::testing {

// Takes the next committed record as the writer does: hands it to `use`, clears its ready flag,
// releases it to the producers and advances the read index. False when no record is ready.
template <typename Use>
bool TakeNext(RecordQueue& queue, Use&& use) {
    TraceRecord& record = queue.records[queue.readIndex.Load() & (queue.capacity - 1)];
    if (record.ready.value.load(std::memory_order_acquire) == 0) return false;
    use(record);
    record.ready.value.store(0, std::memory_order_release);
    queue.ReleaseRecord();
    queue.readIndex.Increment();
    return true;
}

}  // namespace vextrel::testing
