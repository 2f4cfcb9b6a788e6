#include "lifecycle/control_lock.h"

namespace vextrel {
namespace {

// Plain statics: constant-initialised with glibc, set up before the load entry runs with MinGW;
// they live in the library image, so unloading the library leaves nothing behind.
std::mutex g_structureMutex;
std::mutex g_settingsMutex;

}  // namespace

std::mutex& StructureMutex() { return g_structureMutex; }
std::mutex& SettingsMutex() { return g_settingsMutex; }

}  // namespace vextrel
