// The trace entry path: what a host thread does when it traces. It takes a timestamp, asks each
// configuration's tracers whether they want the message, and stores the format and its arguments
// (or, when it must, the formatted text) in a reserved record of each interested configuration's
// queue; the writer formats stored calls. It never blocks, allocates or takes a lock.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>

#include "core/facility.h"
#include "core/manager.h"
#include "include/vextrel.h"

namespace vextrel {

class TraceConfig;
struct TraceRecord;

// Both entry routines read the manager and what it holds under a ReadGuard of their own.
// The formatted path: handler test, tracer tests, reserve, capture the call for the writer to
// format (or format it at once, or call the handler), commit, for each configuration in list order. A full queue drops
// the message for the remaining configurations too; a queue that is ending with its configuration is skipped.
void TraceEntry(uint64_t* startStamp, uint32_t facilityWord, const char* format, va_list args, bool quiet);

// The plain-text path: queues the whole text for every interested configuration, split into
// records of at most 511 characters at the last newline (or late blank) before the limit;
// continuation records are quiet. A full queue drops only the rest of the text for that
// configuration.
void PutsEntry(uint64_t* startStamp, uint32_t facilityWord, const char* text, bool quiet);

// The timestamp a trace call takes: the clock callback's microseconds when one is installed,
// otherwise performance-counter ticks.
uint64_t TakeTimestamp();

namespace detail {
// The installed clock callback; read inline by every trace call.
inline std::atomic<ClockCallback> g_clockCallback{nullptr};
}  // namespace detail

// The installed clock callback, or null.
inline ClockCallback InstalledClockCallback() { return detail::g_clockCallback.load(std::memory_order_acquire); }

// Whether a trace call without a start stamp may return at once, before its arguments are looked
// at: no clock callback is installed (the host sees a callback called even when nothing is traced,
// so with one the full path runs and calls it first) and the global summary says that no
// configuration wants the word. Handlers only narrow what the tracers take, so the summary holds
// for words with a handler too.
inline bool FilteredOutAtOnce(uint32_t facilityWord) {
    if (InstalledClockCallback() != nullptr) return false;
    const uint32_t id = FacilityIdOfWord(facilityWord);
    return id >= kFacilityIdLimit || !MayWant(id, TracePriorityOfWord(facilityWord));
}

// Installs the clock callback process-wide (null removes it).
void SetClockCallback(ClockCallback callback);

// Converts performance-counter ticks to microseconds with the probed counter frequency.
uint64_t ToMicroseconds(uint64_t ticks);

// Converts ticks of a counter running at `frequency` per second to whole microseconds.
uint64_t TicksToMicroseconds(uint64_t ticks, double frequency);

// Per-configuration acceptance of one call: which tracers take it.
struct Acceptance {
    bool toConsole = false;
    bool toFile = false;
    bool toClient = false;
    bool Any() const { return toConsole || toFile || toClient; }
};

// Reserves a record of the configuration's queue, or null (no queue, not started, stopping, full).
TraceRecord* ReserveRecord(TraceConfig& config);

// Fills the record's fields, copies the configuration's name and publishes it to the writer; a
// `captured` record holds a captured call (CaptureMessage) in place of its text.
void CommitRecord(TraceRecord* record, const Acceptance& acceptance, uint32_t threadId, uint32_t facilityId,
                  uint64_t timestamp, uint64_t startTimestamp, bool quiet, TraceConfig& config, bool captured = false);

}  // namespace vextrel
