#include "platform/host_facts.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace vextrel::platform {

std::optional<double> ProcessorMegahertz() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD megahertz = 0;
    DWORD type = 0;
    DWORD size = sizeof megahertz;
    const LONG result = RegQueryValueExA(key, "~MHz", nullptr, &type, reinterpret_cast<BYTE*>(&megahertz), &size);
    RegCloseKey(key);
    // Only a whole 32-bit number counts; a value of another type or size leaves the speed unknown.
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof megahertz) return std::nullopt;
    return static_cast<double>(megahertz);
}

bool ExecutablePath(char* path, size_t capacity) {
    if (capacity == 0) return false;
    path[0] = '\0';
    const DWORD size = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
    const DWORD length = GetModuleFileNameA(nullptr, path, size);
    // A result that fills the buffer means the path was cut.
    if (length == 0 || length >= size) {
        path[0] = '\0';
        return false;
    }
    path[length] = '\0';
    return true;
}

const char* NextCharacter(const char* character) { return CharNextA(character); }

bool VersionAtLeast(uint32_t major, uint32_t minor, uint32_t servicePackMajor) {
    OSVERSIONINFOEXW wanted = {};
    wanted.dwOSVersionInfoSize = sizeof wanted;
    wanted.dwMajorVersion = major;
    wanted.dwMinorVersion = minor;
    wanted.wServicePackMajor = static_cast<WORD>(servicePackMajor);
    DWORDLONG conditions = 0;
    conditions = VerSetConditionMask(conditions, VER_MAJORVERSION, VER_GREATER_EQUAL);
    conditions = VerSetConditionMask(conditions, VER_MINORVERSION, VER_GREATER_EQUAL);
    conditions = VerSetConditionMask(conditions, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&wanted, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, conditions) != FALSE;
}

KernelVersion ReadKernelVersion() {
    using RtlGetVersionFunction = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    KernelVersion version;
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return version;
    FARPROC address = GetProcAddress(ntdll, "RtlGetVersion");
    if (address == nullptr) return version;
    // Through the generic function type, which converts to any other without a warning.
    const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void (*)()>(address));
    RTL_OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (rtlGetVersion(&info) != 0) return version;
    version.available = true;
    version.major = info.dwMajorVersion;
    version.minor = info.dwMinorVersion;
    version.build = info.dwBuildNumber;
    return version;
}

void SystemNameAndRelease(char* name, size_t capacity) {
    if (capacity > 0) name[0] = '\0';
}

uint64_t PhysicalMemoryBytes() {
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return 0;
    return status.ullTotalPhys;
}

int32_t ProcessorCount() {
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    return static_cast<int32_t>(info.dwNumberOfProcessors);
}

UserFolderEnvironment ReadUserFolderEnvironment() {
    UserFolderEnvironment environment;
    environment.localAppData = std::getenv("LOCALAPPDATA");
    return environment;
}

bool CreatePrivateFolderWithParents(const char* path) {
    std::string level(path);
    // Create each level from the front; a drive ("C:") or a level that exists fails harmlessly.
    for (size_t i = 1; i < level.size(); ++i) {
        if (level[i] != '\\' && level[i] != '/') continue;
        const char separator = level[i];
        level[i] = '\0';
        CreateDirectoryA(level.c_str(), nullptr);
        level[i] = separator;
    }
    CreateDirectoryA(level.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace vextrel::platform
