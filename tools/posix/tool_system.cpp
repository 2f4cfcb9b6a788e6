#include "tools/tool_system.h"

#include <sys/stat.h>
#include <unistd.h>

namespace vextrel::tool {

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) {
    struct stat facts {};
    if (stat(path.c_str(), &facts) != 0) return std::nullopt;
    return FileIdentity{static_cast<uint64_t>(facts.st_dev), static_cast<uint64_t>(facts.st_ino)};
}

}  // namespace vextrel::tool
