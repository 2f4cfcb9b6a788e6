// The writer's step over the ring, for tests that stand in for the writer thread.
#pragma once

#include "core/record_queue.h"

namespace vextrel::testing {

// Takes the next committed record through the ring's own take and release, as the writer does, and
// hands it to `use` in between. False when no record is ready.
template <typename Use>
bool TakeNext(RecordQueue& queue, Use&& use) {
    TraceRecord* record = queue.TakeNext();
    if (record == nullptr) return false;
    use(*record);
    queue.Release(record);
    return true;
}

}  // namespace vextrel::testing
