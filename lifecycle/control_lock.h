// The control lock: the library's control calls (restart, reload, trace clients, handlers,
// facilities, priorities, the name, the clock callback) run one at a time, whichever host threads
// make them. Trace calls never take it.
#pragma once

#include <mutex>

#include "core/tracer.h"

namespace vextrel {

// What a control call may do to the running configurations.
enum class ControlKind {
    // Changes a setting in place (handler, facility, priority, name, clock callback).
    Setting,
    // Builds, merges or destroys configurations and their writers (restart, reload, add or remove a
    // trace client).
    Structure,
};

// The one mutex that control calls hold while they run.
std::mutex& ControlMutex();

// Runs `body` under the control lock and returns its result. Inside a trace client's callback the
// writer thread must never wait for another control call (that call may be waiting for this very
// writer), so there a structural call is refused and a setting runs only when the lock is free at
// once; a refused call returns `refused`.
template <typename Result, typename Body>
Result UnderControlLock(ControlKind kind, Result refused, Body&& body) {
    if (InsideClientCallback()) {
        if (kind == ControlKind::Structure) return refused;
        std::unique_lock<std::mutex> lock(ControlMutex(), std::try_to_lock);
        if (!lock.owns_lock()) return refused;
        return body();
    }
    std::lock_guard<std::mutex> lock(ControlMutex());
    return body();
}

// UnderControlLock for a body without a result.
template <typename Body>
void UnderControlLock(ControlKind kind, Body&& body) {
    UnderControlLock(kind, 0, [&] {
        body();
        return 0;
    });
}

}  // namespace vextrel
