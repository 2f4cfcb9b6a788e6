// Reclamation: freeing what trace calls may still be reading.
//
// Trace calls read the manager, its configuration list, the configurations' handler tables, client
// lists and file writers without a lock. Whatever the control side replaces is therefore not freed
// at once but retired, and freed only once every reader that could have seen it has left.
//
// Readers. A thread reading shared state holds a ReadGuard for as long as it uses what it read. The
// guard counts the thread in on one of 64 stripes, each a cache line of its own holding two counters
// (one per phase parity); a thread's stripe comes from its id, so two threads rarely share one. The
// read side is one load of the phase and one interlocked increment on entry, one decrement on exit,
// both on a line that only the few threads of that stripe touch.
//
//     phase:   ...  n-1  |  n  (parity p)  |  n+1 ...
//     stripe:  [ inside[0] | inside[1] ]  x 64
//     reader:  p = phase & 1; inside[p]++ ; read pointers ... ; inside[p]--
//
// Reclaimers. Retire puts an object on the retire list, tagged with the phase in which it was
// unpublished, and never waits. Reclaim (run by later control operations and at unload, also by
// Retire itself) advances phases: phase n begins by flipping the parity and ends once every
// stripe's counter of the parity before it reads zero. A reader may have read the parity long
// before it counted itself in, so it can sit on either counter; after two whole phases that began
// after an object was unpublished, both counters have drained at least once since, and no reader
// can still hold the object. It is freed then. A reader that stays inside for a long time (a
// paused thread) only holds phases back: objects wait on the list, nothing blocks.
//
// Ordering: the reader's increment and its loads of published pointers, the reclaimer's unpublish
// store, the flip and the zero check are sequentially consistent, so either the check sees the
// reader counted in, or the reader's load sees the new pointer. The decrement releases what the
// reader read to the check that finds the counter at zero.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vextrel {

namespace detail {
struct alignas(64) ReaderStripe {
    std::atomic<uint32_t> inside[2] = {};
};
constexpr uint32_t kReaderStripes = 64;
inline ReaderStripe g_readerStripes[kReaderStripes];
inline std::atomic<uint64_t> g_reclaimPhase{0};
// The stripe of the calling thread.
ReaderStripe& StripeOfCallingThread();
}  // namespace detail

// Marks the calling thread as reading shared state for its lifetime. Nests freely.
class ReadGuard {
public:
    ReadGuard() {
        const uint64_t parity = detail::g_reclaimPhase.load(std::memory_order_relaxed) & 1;
        counter_ = &detail::StripeOfCallingThread().inside[parity];
        counter_->fetch_add(1, std::memory_order_seq_cst);
    }
    ~ReadGuard() { counter_->fetch_sub(1, std::memory_order_release); }
    ReadGuard(const ReadGuard&) = delete;
    ReadGuard& operator=(const ReadGuard&) = delete;

private:
    std::atomic<uint32_t>* counter_;
};

// Puts an object that no reader can newly reach on the retire list; `destroy(object)` frees it once
// every reader that may hold it has left. Never waits (the list's lock is held only for the push).
// Throws only when memory for the list runs out; the object then stays allocated.
void Retire(void* object, void (*destroy)(void*));

// Retire for an object deleted by its own type's destructor. Null is ignored.
template <typename Object>
void Retire(Object* object) {
    if (object != nullptr) Retire(object, [](void* retired) { delete static_cast<Object*>(retired); });
}

// Frees every retired object that no reader can hold any more; never waits for a reader. Returns
// how many objects are still waiting.
size_t ReclaimRetired();

// Reclaims for the unload: waits until every retired object is freed, or up to `milliseconds`
// when a thread stays inside a read (what is left then stays allocated). Returns how many wait.
size_t ReclaimRetiredWaiting(uint32_t milliseconds);

}  // namespace vextrel
