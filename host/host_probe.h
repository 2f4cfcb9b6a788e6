// Filling HostInfo: from facts gathered from the system, or from facts a test or tool supplies.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "host/host_info.h"
#include "host/host_paths.h"
#include "host/os_name.h"
#include "platform/host_facts.h"

namespace vextrel {

// Everything the probe learns from the system, before any derivation.
struct HostFacts {
    uint64_t counterFrequency = 0;             // ticks per second; 0 when unknown
    std::optional<double> processorMegahertz;  // none when the system does not say
    const char* executablePath = nullptr;      // null or empty when unknown
    char separator = '\\';                     // the byte that ends each folder level of a path
    CharacterStepper stepCharacter = StepSingleByte;
    char systemName[64] = {};            // a system's own name and release; empty on Windows
    VersionAtLeastQuery versionAtLeast;  // Windows version verification; empty elsewhere
    platform::KernelVersion kernel;
    uint64_t physicalMemoryBytes = 0;  // 0 when unknown
    int32_t processorCount = 0;        // 0 when unknown
    platform::UserFolderEnvironment environment;
};

// The folder operations the probe performs, replaceable so that tests create nothing.
struct FolderOperations {
    FolderCreator createFolder;                                            // one level
    std::function<bool(const char* path)> createPrivateFolderWithParents;  // the per-user state base
};

// Gathers the system's facts, except the executable path, which the caller supplies.
HostFacts GatherHostFacts();

// The folder operations of the running system.
FolderOperations SystemFolderOperations();

// Whole mebibytes in a number of bytes, rounded down.
constexpr uint64_t MebibytesOf(uint64_t bytes) { return bytes >> 20; }

// Replaces `info` with the facts and everything derived from them: unknown facts keep the value
// a never-probed HostInfo holds; the default trace folder is created through `folders` (its state
// base first, with parents, when that base came from XDG_STATE_HOME or HOME). Sets probed.
void FillHostInfo(const HostFacts& facts, const FolderOperations& folders, HostInfo& info);

// Fills Host() from the system's facts as ProbeHostEnvironment does, but for the given executable
// path and whether or not it was probed before: the seam for tests and tools that stand in for a
// host executable. Not safe while writer threads read Host().
void ProbeHostEnvironmentFor(const char* executablePath);

// Puts Host() back to the state before any probe, so that the next probe fills it again. Not safe
// while writer threads read Host().
void ResetHostInfo();

}  // namespace vextrel
