#include "host/host_probe.h"

#include <cstdio>
#include <cstring>

#include "platform/bounded_text.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace vextrel {
namespace {

void FillOperatingSystemName(const HostFacts& facts, char (&name)[sizeof HostInfo::osName]) {
    if (facts.systemName[0] != '\0') {
        CopyTruncated(name, sizeof name, facts.systemName);
        return;
    }
    if (const char* windowsName = WindowsNameFromVersionTests(facts.versionAtLeast, facts.kernel)) {
        CopyTruncated(name, sizeof name, windowsName);
    }
}

void FillDefaultTraceFolder(const HostFacts& facts, const FolderOperations& folders, HostInfo& info) {
    char base[kTraceFolderCapacity];
    const UserBaseFolder kind = UserBaseFolderOf(facts.environment, base);
    bool haveBase = kind != UserBaseFolder::kNone;
    // Windows always has its local application-data folder; the XDG state base may not exist yet.
    if (kind == UserBaseFolder::kStateHome) haveBase = folders.createPrivateFolderWithParents(base);
    DefaultTraceFolderOf(haveBase ? base : nullptr, info.executableFolder, facts.separator, folders.createFolder,
                         info.defaultTraceFolder);
}

}  // namespace

HostFacts GatherHostFacts() {
    HostFacts facts;
    facts.counterFrequency = platform::CounterFrequency();
    facts.processorMegahertz = platform::ProcessorMegahertz();
    facts.separator = platform::kPathSeparator;
    facts.stepCharacter = platform::NextCharacter;
    platform::SystemNameAndRelease(facts.systemName, sizeof facts.systemName);
    // A lambda, for the same reason as in SystemFolderOperations.
    facts.versionAtLeast = [](uint32_t major, uint32_t minor, uint32_t servicePackMajor) {
        return platform::VersionAtLeast(major, minor, servicePackMajor);
    };
    facts.kernel = platform::ReadKernelVersion();
    facts.physicalMemoryBytes = platform::PhysicalMemoryBytes();
    facts.processorCount = platform::ProcessorCount();
    facts.environment = platform::ReadUserFolderEnvironment();
    return facts;
}

FolderOperations SystemFolderOperations() {
    // Lambdas rather than bare function pointers: the type information that std::function keeps
    // for a function pointer would otherwise be exported from the shared library.
    return {[](const char* path) { return platform::CreateFolder(path); },
            [](const char* path) { return platform::CreatePrivateFolderWithParents(path); }};
}

void FillHostInfo(const HostFacts& facts, const FolderOperations& folders, HostInfo& info) {
    info = HostInfo{};
    if (facts.counterFrequency > 0) info.counterFrequency = static_cast<double>(facts.counterFrequency);
    if (facts.processorMegahertz) info.processorSpeedGHz = *facts.processorMegahertz / 1000.0;

    const char* executablePath = facts.executablePath != nullptr ? facts.executablePath : "";
    // A path too long for its buffer is rejected: everything derived from a cut path would name
    // the wrong files.
    if (std::strlen(executablePath) < sizeof info.executablePath) {
        std::memcpy(info.executablePath, executablePath, std::strlen(executablePath) + 1);
    }
    FileNameOf(info.executablePath, facts.separator, facts.stepCharacter, info.executableFileName,
               sizeof info.executableFileName);
    FolderOf(info.executablePath, facts.separator, facts.stepCharacter, info.executableFolder,
             sizeof info.executableFolder);
    ConfigurationPaths configurationPaths;
    ConfigurationPathsOf(info.executablePath, info.executableFolder, configurationPaths);
    std::memcpy(info.configPath1, configurationPaths.first, sizeof info.configPath1);
    std::memcpy(info.configPath2, configurationPaths.second, sizeof info.configPath2);
    std::memcpy(info.configPath3, configurationPaths.third, sizeof info.configPath3);
    FillDefaultTraceFolder(facts, folders, info);

    FillOperatingSystemName(facts, info.osName);
    if (facts.physicalMemoryBytes > 0) info.physicalMemoryMiB = MebibytesOf(facts.physicalMemoryBytes);
    if (facts.processorCount > 0) info.processorCount = facts.processorCount;
    info.probed = true;
}

void ProbeHostEnvironmentFor(const char* executablePath) {
    HostFacts facts = GatherHostFacts();
    facts.executablePath = executablePath;
    FillHostInfo(facts, SystemFolderOperations(), Host());
}

void ProbeHostEnvironment() {
    if (Host().probed) return;
    // Read into the full 2048 bytes a module path may take; the probe keeps the path only when it fits
    // the host path buffers.
    char executablePath[kModulePathCapacity];
    platform::ExecutablePath(executablePath, sizeof executablePath);
    ProbeHostEnvironmentFor(executablePath);
}

void ResetHostInfo() { Host() = HostInfo{}; }

}  // namespace vextrel
