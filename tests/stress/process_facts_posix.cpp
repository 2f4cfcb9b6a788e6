#include <unistd.h>

#include <cstdio>

#include "process_facts.h"

namespace stress {

std::string ExecutablePath() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

uint64_t ResidentBytes() {
    unsigned long long pages = 0, resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) return 0;
    const int read = std::fscanf(statm, "%llu %llu", &pages, &resident);
    std::fclose(statm);
    return read == 2 ? resident * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) : 0;
}

}  // namespace stress
