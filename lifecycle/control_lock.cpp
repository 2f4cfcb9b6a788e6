#include "lifecycle/control_lock.h"

namespace vextrel {
namespace {

// Constant-initialised and never torn down in a way a late caller could notice (the standard
// mutex has a trivial destructor here), so a host thread may make a control call while the process
// exits; and it lives in the library image, so unloading the library leaves nothing behind.
constinit std::mutex g_controlMutex;

}  // namespace

std::mutex& ControlMutex() { return g_controlMutex; }

}  // namespace vextrel
