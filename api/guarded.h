// The one guard every exported function runs its body through: no exception ever reaches the host.
#pragma once

#include <type_traits>

#include "platform/grace_hints.h"
#include "platform/thread.h"

namespace vextrel {

// Runs `body` and returns its result, or `fallback` when it throws.
template <typename Result, typename Body>
Result Guarded(Result fallback, Body&& body) noexcept {
    platform::ResumeHeldThreads();
    try {
        return body();
    } catch (...) {
        return fallback;
    }
}

// Runs `body`, swallowing anything it throws.
template <typename Body>
void Guarded(Body&& body) noexcept {
    platform::ResumeHeldThreads();
    try {
        body();
    } catch (...) {
    }
}

// Guarded for a call that reads the published manager without a lock (a trace call or a query).
template <typename Result, typename Body>
Result GuardedRead(Result fallback, Body&& body) noexcept {
    const Result result = Guarded(fallback, body);
    platform::HintTraceCallEnded();
    return result;
}

// GuardedRead for a body without a result.
template <typename Body>
void GuardedRead(Body&& body) noexcept {
    Guarded(body);
    platform::HintTraceCallEnded();
}

}  // namespace vextrel
