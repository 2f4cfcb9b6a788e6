// The control locks. Structural calls (restart, reload, add or remove a trace client) run one at a
// time under the structure lock, which they may hold while a writer drains (the stop wait at
// most). Setting calls (handler, facility, priority, name) run under the settings lock, which
// nobody holds while waiting for a writer, a client or a file: a structural call takes it only for
// its short steps (carrying settings over, publishing). So a setting never waits behind a restart
// or a slow client, and works from a client's callback too. Trace calls take neither.
#pragma once

#include <mutex>

#include "core/tracer.h"

namespace vextrel {

// What a control call may do to the running configurations.
enum class ControlKind {
    // Changes a setting in place (handler, facility, priority, name).
    Setting,
    // Builds, merges or destroys configurations and their writers (restart, reload, add or remove a
    // trace client).
    Structure,
};

// The lock structural calls hold while they run.
std::mutex& StructureMutex();
// The lock of setting calls and of the short steps of structural calls that change settings or
// publish.
std::mutex& SettingsMutex();

// Runs `body` under the lock of its kind and returns its result. Inside a trace client's callback
// a structural call is refused (it may wait for this very writer): it returns `refused`.
template <typename Result, typename Body>
Result UnderControlLock(ControlKind kind, Result refused, Body&& body) {
    if (kind == ControlKind::Setting) {
        std::lock_guard<std::mutex> lock(SettingsMutex());
        return body();
    }
    if (InsideClientCallback()) return refused;
    std::lock_guard<std::mutex> lock(StructureMutex());
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
