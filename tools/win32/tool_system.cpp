#include "tools/tool_system.h"

#include <windows.h>
#include <io.h>

#include <stdexcept>

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

// Written through the system's cache: one write per piece.
OutputFile::OutputFile(const std::string& path, uint64_t directAfterBytes)
    : path_(path),
      handle_(reinterpret_cast<intptr_t>(std::fopen(path.c_str(), "wb"))),
      directAfterBytes_(directAfterBytes) {
    if (handle_ == 0) throw std::runtime_error("cannot write " + path);
    std::setvbuf(reinterpret_cast<std::FILE*>(handle_), nullptr, _IONBF, 0);
}

OutputFile::~OutputFile() {
    if (handle_ != 0) std::fclose(reinterpret_cast<std::FILE*>(handle_));
}

void OutputFile::Write(const char* data, size_t size) {
    if (std::fwrite(data, 1, size, reinterpret_cast<std::FILE*>(handle_)) != size)
        throw std::runtime_error("cannot write " + path_);
}

void OutputFile::Close() {
    std::FILE* file = reinterpret_cast<std::FILE*>(handle_);
    handle_ = 0;
    if (std::fclose(file) != 0) throw std::runtime_error("cannot write " + path_);
}

}  // namespace vextrel::tool
