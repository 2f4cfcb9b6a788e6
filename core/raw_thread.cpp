#include "core/raw_thread.h"

#include <stdexcept>

namespace vextrel {

XThreads_RawThread::~XThreads_RawThread() {
    if (handle_ != nullptr) platform::ReleaseThread(handle_);
}

void XThreads_RawThread::Entry(void* self) {
    try {
        static_cast<XThreads_RawThread*>(self)->Run();
    } catch (...) {
        // A failing thread body ends the thread quietly.
    }
}

void XThreads_RawThread::Start() {
    handle_ = platform::StartThread(&XThreads_RawThread::Entry, this, &threadId_);
    if (handle_ == nullptr) throw std::runtime_error("XThreads_RawThread: Couldn't create a new thread.");
}

int XThreads_RawThread::PriorityForLevel(uint32_t level) {
    static const int kPriorities[] = {-15, -2, -1, 0, 1, 2, 15};
    return level < sizeof(kPriorities) / sizeof(kPriorities[0]) ? kPriorities[level] : 0;
}

void XThreads_RawThread::SetPriority(uint32_t level) {
    if (handle_ != nullptr) platform::SetThreadPriorityValue(handle_, PriorityForLevel(level));
}

}  // namespace vextrel
