#include "lifecycle/control_lock.h"

namespace vextrel {
namespace {

// A plain static: constant-initialised with glibc, set up before the load entry runs with MinGW;
// it lives in the library image, so unloading the library leaves nothing behind.
std::mutex g_controlMutex;

}  // namespace

std::mutex& ControlMutex() { return g_controlMutex; }

}  // namespace vextrel
