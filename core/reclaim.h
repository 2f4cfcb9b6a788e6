// Reclamation: freeing what trace calls may still be reading.
//
// Trace calls read the manager, its configuration list, the configurations' handler tables, client
// lists and file writers without a lock. Whatever the control side replaces is therefore not freed
// at once but retired, and freed only once every reader that could have seen it has left.
//
// Readers. A thread reading shared state holds a ReadGuard for as long as it uses what it read. The
// guard counts the thread in on a counter pair (one counter per phase parity) on a cache line of its
// own. Where the system offers a process-wide barrier (platform/barrier.h), a thread owns a reader
// slot: claimed once for its thread id (no two living threads share an id, so a slot never has two
// users at once), never given back, and only ever written by the thread of that id. The thread
// keeps a pointer to it in its own cache (platform::ReadThreadCache; a forked child's thread finds
// the cache empty and looks again for its new id). Entering is then a load of that pointer and a
// plain load and store of the thread's own counter, leaving another: no call, no interlocked step.
// A thread that finds no slot for its id (a host that made very many threads), and every thread
// where there is no such barrier, counts itself on one of 64 shared stripes with interlocked steps.
//
//     phase:    ...  n-1  |  n  (parity p)  |  n+1 ...
//     slot:     [ owner | inside[0] | inside[1] ]  x 256   (plain stores by the owner)
//     stripe:   [ inside[0] | inside[1] ]  x 64             (interlocked, any thread)
//     reader:   p = phase & 1; inside[p]++ ; read pointers ... ; inside[p]--
//
// Reclaimers. Retire puts an object on the retire list, tagged with the phase in which it was
// unpublished, and never waits. Reclaim (run by later control operations and at unload, also by
// Retire itself) advances phases: phase n begins by flipping the parity and ends once every
// counter of the parity before it reads zero. A reader may have read the parity long before it
// counted itself in, so it can sit on either counter; after two whole phases that began after an
// object was unpublished, both counters have drained at least once since, and no reader can still
// hold the object. It is freed then. A reader that stays inside for a long time (a paused thread)
// only holds phases back: objects wait on the list, nothing blocks.
//
// Ordering, the pair that matters: the reader stores its count and then loads a published pointer;
// the reclaimer stores the unpublished pointer and then loads the counts. Either the reclaimer sees
// the reader counted in, or the reader's load sees the new pointer. With the process-wide barrier,
// the reader keeps only the compiler from reordering its store and its load, and the reclaimer
// passes the barrier between the unpublish and the counter reads: the barrier makes the reader's
// thread pass a full barrier at some point of its run. When its count store came before that
// point, the store is visible to the counter reads that follow the barrier; when its pointer load
// came after that point, it sees the unpublish, which came before the barrier. Without the
// barrier, the reader's increment and the reclaimer's stores and checks are sequentially
// consistent instead. Either way, leaving releases what the reader read to the check that finds
// the counter at zero.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/barrier.h"
#include "platform/clock.h"

namespace vextrel {

namespace detail {
struct alignas(64) ReaderStripe {
    std::atomic<uint32_t> inside[2] = {};
};
// A reader slot: the thread id that owns it (0 while free) and that thread's two counters.
struct alignas(64) ReaderSlot {
    std::atomic<uint32_t> owner{0};
    std::atomic<uint32_t> inside[2] = {};
};
constexpr uint32_t kReaderStripes = 64;
constexpr uint32_t kReaderSlotBits = 8;
constexpr uint32_t kReaderSlots = 1u << kReaderSlotBits;
inline ReaderStripe g_readerStripes[kReaderStripes];
inline ReaderSlot g_readerSlots[kReaderSlots];
inline std::atomic<uint64_t> g_reclaimPhase{0};
// The stripe of the calling thread.
ReaderStripe& StripeOfCallingThread();
// The slot the calling thread owns, claimed on its first call and kept in the thread's cache
// (platform::ReadThreadCache); null when none near its id's place is free.
ReaderSlot* SlotOfCallingThread();
// The calling thread's slot: from its cache after its first guard, a plain load.
inline ReaderSlot* CachedSlotOfCallingThread() {
    if (void* cached = platform::ReadThreadCache()) [[likely]]
        return static_cast<ReaderSlot*>(cached);
    return SlotOfCallingThread();
}
}  // namespace detail

// Marks the calling thread as reading shared state for its lifetime. Nests freely; a guard taken in
// a signal handler that interrupts another leaves the count as it found it before the interrupted
// one goes on.
class ReadGuard {
public:
    ReadGuard() {
        const uint64_t parity = detail::g_reclaimPhase.load(std::memory_order_relaxed) & 1;
        if (platform::HeavyBarrierAvailable()) {
            if (detail::ReaderSlot* slot = detail::CachedSlotOfCallingThread()) {
                counter_ = &slot->inside[parity];
                owned_ = true;
                // Only this thread writes its slot: a plain increment. The count must be in memory
                // before the loads the guard protects, which the reclaimer's barrier sees to.
                counter_->store(counter_->load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
                platform::LightBarrier();
                return;
            }
        }
        counter_ = &detail::StripeOfCallingThread().inside[parity];
        counter_->fetch_add(1, std::memory_order_seq_cst);
    }
    ~ReadGuard() {
        if (owned_) {
            counter_->store(counter_->load(std::memory_order_relaxed) - 1, std::memory_order_release);
        } else {
            counter_->fetch_sub(1, std::memory_order_release);
        }
    }
    ReadGuard(const ReadGuard&) = delete;
    ReadGuard& operator=(const ReadGuard&) = delete;

private:
    std::atomic<uint32_t>* counter_;
    bool owned_ = false;
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
