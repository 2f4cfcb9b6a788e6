#include "platform/host_facts.h"

#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace vextrel::platform {

std::optional<double> ProcessorMegahertz() {
    std::FILE* cpuInfo = std::fopen("/proc/cpuinfo", "r");
    if (cpuInfo == nullptr) return std::nullopt;
    std::optional<double> megahertz;
    char line[512];
    while (std::fgets(line, sizeof line, cpuInfo) != nullptr) {
        if (std::strncmp(line, "cpu MHz", 7) != 0) continue;
        const char* colon = std::strchr(line, ':');
        if (colon == nullptr) break;
        const char* value = colon + 1;
        while (*value == ' ' || *value == '\t') ++value;
        double parsed = 0.0;
        // from_chars ignores the host's locale, which may use a decimal comma.
        const auto result = std::from_chars(value, value + std::strlen(value), parsed);
        if (result.ec == std::errc() && parsed > 0.0) megahertz = parsed;
        break;
    }
    std::fclose(cpuInfo);
    return megahertz;
}

bool ExecutablePath(char* path, size_t capacity) {
    if (capacity == 0) return false;
    path[0] = '\0';
    const ssize_t length = readlink("/proc/self/exe", path, capacity);
    // readlink does not terminate; a result that fills the buffer may have been cut.
    if (length <= 0 || static_cast<size_t>(length) >= capacity) {
        path[0] = '\0';
        return false;
    }
    path[length] = '\0';
    return true;
}

const char* NextCharacter(const char* character) { return *character == '\0' ? character : character + 1; }

bool VersionAtLeast(uint32_t, uint32_t, uint32_t) { return false; }

KernelVersion ReadKernelVersion() { return {}; }

void SystemNameAndRelease(char* name, size_t capacity) {
    if (capacity == 0) return;
    name[0] = '\0';
    utsname system;
    if (uname(&system) != 0) return;
    std::snprintf(name, capacity, "%s %s", system.sysname, system.release);
}

uint64_t PhysicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

int32_t ProcessorCount() {
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 && count <= INT32_MAX ? static_cast<int32_t>(count) : 0;
}

UserFolderEnvironment ReadUserFolderEnvironment() {
    UserFolderEnvironment environment;
    environment.xdgStateHome = std::getenv("XDG_STATE_HOME");
    environment.home = std::getenv("HOME");
    return environment;
}

bool CreatePrivateFolderWithParents(const char* path) {
    std::string level(path);
    // Create each level from the root down; levels that exist are left as they are.
    for (size_t slash = level.find('/', 1); slash != std::string::npos; slash = level.find('/', slash + 1)) {
        level[slash] = '\0';
        if (mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) return false;
        level[slash] = '/';
    }
    if (mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace vextrel::platform
