#include "core/reclaim.h"

#include <mutex>
#include <vector>

#include "platform/barrier.h"
#include "platform/clock.h"

namespace vextrel {
namespace {

struct RetiredObject {
    void* object;
    void (*destroy)(void*);
    // The phase during which it was unpublished: freed once phase + 2 has ended.
    uint64_t phase;
};

// A plain static: constant-initialised, and it lives in the library image.
std::mutex g_retireLock;
// Allocated on the first retirement and released once empty at unload, so an unload leaves nothing
// behind (no destructor runs at the process's exit while a writer thread may still retire).
std::vector<RetiredObject>* g_retired = nullptr;
// The last phase whose readers have all left (phases are numbered from 1; 0 = none yet).
uint64_t g_endedPhase = 0;

bool StripesDrained(uint64_t parity) {
    // Between the unpublish and the flip before it and the counter reads below (see the ordering
    // note in reclaim.h): a reader whose count is not seen here loads the new pointers.
    platform::HeavyBarrier();
    for (const detail::ReaderSlot& slot : detail::g_readerSlots) {
        if (slot.inside[parity].load(std::memory_order_acquire) != 0) return false;
    }
    for (const detail::ReaderStripe& stripe : detail::g_readerStripes) {
        if (stripe.inside[parity].load(std::memory_order_seq_cst) != 0) return false;
    }
    return true;
}

// Ends the current phase when its readers have left and begins the next while an object still
// needs one; then takes what two ended phases cover off the list into `due`. Under g_retireLock.
size_t CollectLocked(std::vector<RetiredObject>& due) {
    if (g_retired == nullptr) return 0;
    for (;;) {
        const uint64_t phase = detail::g_reclaimPhase.load(std::memory_order_relaxed);
        if (g_endedPhase < phase) {
            // Phase `phase` waits for the readers counted on the parity before its flip.
            if (!StripesDrained((phase - 1) & 1)) break;
            g_endedPhase = phase;
        }
        bool needsMore = false;
        for (const RetiredObject& retired : *g_retired) needsMore = needsMore || retired.phase + 2 > g_endedPhase;
        if (!needsMore) break;
        detail::g_reclaimPhase.fetch_add(1, std::memory_order_seq_cst);
    }
    auto keep = g_retired->begin();
    for (RetiredObject& retired : *g_retired) {
        if (retired.phase + 2 <= g_endedPhase) {
            due.push_back(retired);
        } else {
            *keep++ = retired;
        }
    }
    g_retired->erase(keep, g_retired->end());
    return g_retired->size();
}

// Frees what CollectLocked took, outside the lock: freeing an object may retire others.
void Destroy(const std::vector<RetiredObject>& due) {
    for (const RetiredObject& retired : due) retired.destroy(retired.object);
}

}  // namespace

detail::ReaderStripe& detail::StripeOfCallingThread() {
    const uint32_t mixed = platform::CurrentThreadId() * 0x9E3779B1u;
    return g_readerStripes[mixed >> 26];
}

detail::ReaderSlot* detail::SlotOfCallingThread() {
    // Looked for in the few slots from the id's place on: the slot this id owns, else a free one,
    // claimed for good (a later thread given the same id takes it over with its counts).
    constexpr uint32_t kProbes = 4;
    const uint32_t id = platform::CurrentThreadId();
    if (id == 0) return nullptr;  // 0 marks a free slot
    const uint32_t place = (id * 0x9E3779B1u) >> (32 - kReaderSlotBits);
    for (uint32_t i = 0; i < kProbes; ++i) {
        ReaderSlot& slot = g_readerSlots[(place + i) & (kReaderSlots - 1)];
        uint32_t owner = slot.owner.load(std::memory_order_relaxed);
        if (owner == id || (owner == 0 && slot.owner.compare_exchange_strong(owner, id, std::memory_order_relaxed))) {
            platform::WriteThreadCache(&slot);
            return &slot;
        }
    }
    return nullptr;
}

void Retire(void* object, void (*destroy)(void*)) {
    std::vector<RetiredObject> due;
    {
        std::lock_guard<std::mutex> guard(g_retireLock);
        if (g_retired == nullptr) g_retired = new std::vector<RetiredObject>;
        // Read after the caller's unpublish: the two phases the object waits for begin after it.
        g_retired->push_back({object, destroy, detail::g_reclaimPhase.load(std::memory_order_seq_cst)});
        CollectLocked(due);
    }
    Destroy(due);
}

size_t ReclaimRetired() {
    std::vector<RetiredObject> due;
    size_t left = 0;
    {
        std::lock_guard<std::mutex> guard(g_retireLock);
        left = CollectLocked(due);
    }
    Destroy(due);
    return left;
}

size_t ReclaimRetiredWaiting(uint32_t milliseconds) {
    for (uint32_t waited = 0;; ++waited) {
        const size_t left = ReclaimRetired();
        if (left == 0) {
            std::lock_guard<std::mutex> guard(g_retireLock);
            if (g_retired != nullptr && g_retired->empty()) {
                delete g_retired;
                g_retired = nullptr;
            }
            return 0;
        }
        if (waited >= milliseconds) return left;
        platform::SleepMilliseconds(1);
    }
}

}  // namespace vextrel
