#include "host/log_retention.h"

#include <map>
#include <string>

#include "host/host_info.h"
#include "host/process_name.h"
#include "platform/files.h"

namespace vextrel {

void ApplyLogFileLimit(int32_t limit, const char* folder) {
    if (limit <= 0) return;
    char processName[kProcessNameCapacity];
    ProcessNameOf(Host().executableFileName, processName);
    PruneTraceFiles(limit, folder, processName);
    PruneTraceFiles(limit, folder, kVideoProcessName);
}

void PruneTraceFiles(int32_t limit, const char* folder, const char* prefix) {
    if (limit <= 0 || folder == nullptr || prefix == nullptr) return;
    // Ordered by last-write time; emplace keeps the first entry listed for a time.
    std::map<uint64_t, std::string> candidates;
    const std::string pattern = std::string(prefix) + '_';
    platform::ListFolderByPrefix(folder, pattern.c_str(), [&](const char* name, uint64_t lastWriteTime) {
        candidates.emplace(lastWriteTime, name);
    });
    while (!candidates.empty() && candidates.size() >= static_cast<size_t>(limit)) {
        const auto oldest = candidates.begin();
        const std::string path = std::string(folder) + platform::kPathSeparator + oldest->second;
        platform::DeleteFilePath(path.c_str());
        candidates.erase(oldest);
    }
}

}  // namespace vextrel
