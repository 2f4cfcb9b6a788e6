// HostInfo: process-wide facts about the host process and machine, filled once by the probe and
// only read afterwards.
#pragma once

#include <cstdint>

namespace vextrel {

constexpr uint32_t kHostPathCapacity = 260;
// The buffer the executable's path is first read into.
constexpr uint32_t kModulePathCapacity = 2048;
constexpr uint32_t kTraceFolderCapacity = 1024;

struct HostInfo {
    bool probed = false;
    double counterFrequency = 1.0;  // performance-counter ticks per second
    double processorSpeedGHz = 1.0;
    char osName[64] = "unknown";
    int32_t processorCount = 1;
    uint64_t physicalMemoryMiB = 1;
    char executablePath[kHostPathCapacity] = {};
    char executableFileName[kHostPathCapacity] = {};
    char executableFolder[kHostPathCapacity] = {};       // up to and including the last separator
    char configPath1[kHostPathCapacity] = {};            // executable path + ".vextrel"
    char configPath2[kHostPathCapacity] = {};            // without a final ".exe", + ".vextrel"
    char configPath3[kHostPathCapacity] = {};            // executable folder + "config.vextrel"
    char defaultTraceFolder[kTraceFolderCapacity] = {};  // no trailing separator
};

// The process-wide facts; never destroyed.
HostInfo& Host();

// Fills Host() once per process; returns at once when already probed.
void ProbeHostEnvironment();

}  // namespace vextrel
