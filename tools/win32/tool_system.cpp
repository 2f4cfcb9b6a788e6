#include "tools/tool_system.h"

#include <windows.h>
#include <io.h>

namespace vextrel::tool {

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) {
    // Every sharing mode, so the writer can go on writing, renaming and deleting the file.
    const HANDLE file =
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION facts{};
    const BOOL known = GetFileInformationByHandle(file, &facts);
    CloseHandle(file);
    if (!known) return std::nullopt;
    return FileIdentity{facts.dwVolumeSerialNumber,
                        (static_cast<uint64_t>(facts.nFileIndexHigh) << 32) | facts.nFileIndexLow};
}

}  // namespace vextrel::tool
