// Facts about the stress program's own process, one implementation per operating system.
#pragma once

#include <cstdint>
#include <string>

namespace stress {

// The full path of this program's executable.
std::string ExecutablePath();

// Resident memory of this process in bytes (0 when unknown).
uint64_t ResidentBytes();

}  // namespace stress
