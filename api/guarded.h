// The one guard every exported function runs its body through: no exception ever reaches the host.
#pragma once

#include <type_traits>

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
    } catch (...) {}
}

}  // namespace vextrel
