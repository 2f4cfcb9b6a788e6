#include "core/raw_event.h"

#include <stdexcept>

namespace vextrel {

XThreads_RawEvent::XThreads_RawEvent() : handle_(platform::CreateAutoResetEvent()) {
    if (handle_ == nullptr) throw std::runtime_error("XThreads_RawEvent: Couldn't create an event.");
}

XThreads_RawEvent::~XThreads_RawEvent() {
    platform::SignalEvent(handle_);
    platform::DestroyEvent(handle_);
}

}  // namespace vextrel
