// The tests' view of what a ring keeps private: its lost count, its free slots and its stop wait.
#pragma once

#include <cstdint>

#include "core/record_queue.h"

namespace vextrel {

struct RecordQueuePeer {
    static uint32_t LostCount(const RecordQueue& queue) { return queue.lostCount.Load(); }
    static void SetLostCount(RecordQueue& queue, uint32_t count) { queue.lostCount.Store(count); }
    // Free slots, with those the writer released and no producer has taken in yet.
    static uint32_t FreeSlots(const RecordQueue& queue) {
        return RecordQueue::FreeOf(queue.reservation_.load()) + queue.releasedCount.Load();
    }
    static uint32_t Capacity(const RecordQueue& queue) { return queue.capacity; }
    // The ready flag of the slot the writer reads next: 0 free, else the kind of record committed.
    static uint32_t NextReadyFlag(RecordQueue& queue) { return queue.NextSlot().ready.Load(); }
    // Whether the writer marked itself sleeping and no commit took the mark since.
    static bool WriterSleeping(const RecordQueue& queue) { return queue.writerSleeping_.load() != 0; }
    static void SetStopWait(RecordQueue& queue, uint32_t milliseconds) {
        queue.options_.stopWaitMilliseconds = milliseconds;
    }
};

}  // namespace vextrel
