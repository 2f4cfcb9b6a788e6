// XThreads_RawEvent: a thin owner of one auto-reset operating-system event.
#pragma once

#include <cstdint>

#include "platform/event.h"

namespace vextrel {

class XThreads_RawEvent {
public:
    // Creates an unnamed, auto-reset, non-signalled event; throws std::runtime_error with the text
    // "XThreads_RawEvent: Couldn't create an event." when the system refuses.
    XThreads_RawEvent();
    // Signals the event once more (releasing a waiter), then closes it.
    ~XThreads_RawEvent();
    XThreads_RawEvent(const XThreads_RawEvent&) = delete;
    XThreads_RawEvent& operator=(const XThreads_RawEvent&) = delete;

    void Set() { platform::SignalEvent(handle_); }

    // Waits for a signal, at most `timeoutMilliseconds` (0xFFFFFFFF: no limit).
    void Wait(uint32_t timeoutMilliseconds) { platform::WaitEvent(handle_, timeoutMilliseconds); }

private:
    platform::EventHandle* handle_;
};

}  // namespace vextrel
