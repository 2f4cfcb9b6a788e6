#include "lifecycle/control_lock.h"

namespace vextrel {

std::mutex& ControlMutex() {
    // Never destroyed: a host thread may make a control call while the process exits.
    static std::mutex* const mutex = new std::mutex;
    return *mutex;
}

}  // namespace vextrel
