// Facts about the host process and machine that only the operating system knows: the executable,
// processor, memory, system version and the per-user folder environment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vextrel::platform {

// The clock rate of processor 0 in megahertz: the registry value "~MHz" on Windows, the first
// "cpu MHz" line of /proc/cpuinfo on Linux; nothing when the system does not say.
std::optional<double> ProcessorMegahertz();

// Writes the full path of the process's executable (GetModuleFileNameA / readlink of
// /proc/self/exe) into `path`; false, with `path` empty, when the system cannot tell or the path
// does not fit in `capacity` bytes with its terminator.
bool ExecutablePath(char* path, size_t capacity);

// The next character of a zero-terminated text in the process's code page (CharNextA on Windows;
// one byte on Linux, where UTF-8 never hides a '/' inside a longer character). Stays on the
// terminator.
const char* NextCharacter(const char* character);

// Whether the running Windows version is at least major.minor with the given service-pack major
// version, as VerifyVersionInfoW answers (each field compared with "greater or equal", in order);
// always false on other systems.
bool VersionAtLeast(uint32_t major, uint32_t minor, uint32_t servicePackMajor);

// The kernel's own account of its version (RtlGetVersion from ntdll.dll).
struct KernelVersion {
    bool available = false;  // false when ntdll.dll, RtlGetVersion or the call fails, and on Linux
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;
};

// Asks the kernel for its version; not available on systems other than Windows.
KernelVersion ReadKernelVersion();

// Writes the system's own name and release ("Linux 6.1.0-18-amd64", from uname) into `name`, cut
// to `capacity`; empty on Windows, whose name comes from the version tests.
void SystemNameAndRelease(char* name, size_t capacity);

// Total physical memory in bytes (GlobalMemoryStatusEx / sysconf); 0 when unknown.
uint64_t PhysicalMemoryBytes();

// Number of logical processors (GetSystemInfo / sysconf online processors); 0 when unknown.
int32_t ProcessorCount();

// The environment values from which the per-user base of the default trace folder is formed; each
// is null when not set or not used on this system.
struct UserFolderEnvironment {
    const char* localAppData = nullptr;  // Windows: LOCALAPPDATA
    const char* xdgStateHome = nullptr;  // Linux: XDG_STATE_HOME
    const char* home = nullptr;          // Linux: HOME
};

// Reads the environment values this system uses for the per-user base folder.
UserFolderEnvironment ReadUserFolderEnvironment();

// Creates the folder and every missing parent, new levels readable only by the user (mode 0700 on
// Linux, default security on Windows); true when the folder exists afterwards.
bool CreatePrivateFolderWithParents(const char* path);

}  // namespace vextrel::platform
