// The operating-system name the session header prints, from the version facts the system gives.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/host_facts.h"

namespace vextrel {

// Answers whether the running system is at least major.minor with the given service-pack major
// version, as the platform's version verification does.
using VersionAtLeastQuery = std::function<bool(uint32_t major, uint32_t minor, uint32_t servicePackMajor)>;

// Runs the thirteen Windows version tests in order, from "WindowsXP" (5.1) to "Windows11OrGreater"
// (kernel major 10 or more with build 22000 or more); every passing test replaces the name of the
// tests before it. Tests 1 to 11 ask `atLeast` (none passes when it is empty); tests 12 and 13 use
// the kernel version and pass only when it is available. Null when no test passes.
const char* WindowsNameFromVersionTests(const VersionAtLeastQuery& atLeast, const platform::KernelVersion& kernel);

}  // namespace vextrel
