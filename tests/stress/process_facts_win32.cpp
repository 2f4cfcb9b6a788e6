#include <windows.h>
#include <psapi.h>

#include "process_facts.h"

namespace stress {

std::string ExecutablePath() {
    char path[2048];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
}

uint64_t ResidentBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.WorkingSetSize : 0;
}

}  // namespace stress
