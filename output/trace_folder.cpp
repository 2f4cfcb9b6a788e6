#include "output/trace_folder.h"

#include <string>

#include "platform/files.h"

namespace vextrel {
namespace {

void EnsurePathExists(const std::string& path) {
    if (path.empty() || platform::PathExists(path.c_str())) return;
    platform::CreateFolder(path.c_str());
}

}  // namespace

void EnsureFolder(const char* folder) {
    if (folder == nullptr) return;
    const std::string path(folder);
    for (size_t separator = path.find(platform::kPathSeparator); separator != std::string::npos;
         separator = path.find(platform::kPathSeparator, separator + 1)) {
        EnsurePathExists(path.substr(0, separator));
    }
    if (!path.empty() && path.back() != platform::kPathSeparator) EnsurePathExists(path);
}

}  // namespace vextrel
