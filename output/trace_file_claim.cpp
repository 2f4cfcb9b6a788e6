#include "output/trace_file_claim.h"

#include <cstdio>
#include <cstring>

#include "output/trace_file_name.h"
#include "platform/files.h"

namespace vextrel {

bool ClaimUnusedTracePath(char (&path)[kTraceFilePathCapacity], uint32_t maxSuffix) {
    char stem[kTraceFilePathCapacity];
    std::snprintf(stem, sizeof stem, "%s", path);
    char* const extension = std::strrchr(stem, '.');
    if (extension != nullptr) *extension = '\0';
    char candidate[kTraceFilePathCapacity];
    std::snprintf(candidate, sizeof candidate, "%s", path);
    for (uint32_t suffix = 1; suffix <= maxSuffix + 1; ++suffix) {
        const platform::CreateFileResult result = platform::CreateNewFile(candidate);
        if (result == platform::CreateFileResult::kCreated) {
            std::memcpy(path, candidate, sizeof path);
            return true;
        }
        if (result == platform::CreateFileResult::kFailed) return false;
        // A long stem is cut so that the number and the extension always fit.
        std::snprintf(candidate, sizeof candidate, "%.*s_%u.txt", static_cast<int>(sizeof candidate) - 16, stem,
                      suffix);
    }
    return false;
}

}  // namespace vextrel
