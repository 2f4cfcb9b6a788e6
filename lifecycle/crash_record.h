// The crash record: when the host crashes, every running configuration's writer first writes what
// was committed before the crash, then each open trace file gets one line naming the crash,
// followed by the crashing thread's stack; then whatever handled crashes before takes over.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/crash.h"

namespace vextrel {

class CVextrelManager;

// How long a crashing process waits, at most, for the writers to catch up with the records
// committed before the crash.
constexpr uint32_t kCrashDrainMilliseconds = 1500;

// A writer that makes no progress for kDrainStallMilliseconds is given up on (see
// RecordQueue::DrainUntil): its next record may belong to the crashed thread and never be committed.

// Installs the crash handler when the manager has a configuration and none of them turns the crash
// record off; removes it otherwise (putting back what was there before).
void UpdateCrashRecord(const CVextrelManager* manager);

// Removes the crash handler, putting back what was there before.
void RemoveCrashRecord();

// Writes the crash line of `facts` into `line`: the signal or exception, the faulting address, the
// instruction and the thread, ending in a newline; cut to `size` - 1 characters.
void FormatCrashLine(const platform::CrashDetails& facts, char* line, size_t size);

// The crash handler's work on the crashing thread: waits (bounded) until every writer of the
// current manager, other than the crashing thread itself, has taken the records reserved before
// the crash, then writes the crash line, "Stacktrace:" and one frame line per stack entry straight
// to the handle of every open trace file. Allocates nothing and takes no lock.
void WriteCrashRecord(const platform::CrashDetails& facts);

// Whether a crash record was written in this process: the trace files then end with it, and an exit
// that follows the crash (the Windows runtime's abort ends the process through exit, a host's own
// crash handler may call exit) writes nothing more, no closing line.
bool CrashRecorded();

}  // namespace vextrel
