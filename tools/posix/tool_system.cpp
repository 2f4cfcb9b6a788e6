#include "tools/tool_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace vextrel::tool {

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) {
    struct stat facts {};
    if (stat(path.c_str(), &facts) != 0) return std::nullopt;
    return FileIdentity{static_cast<uint64_t>(facts.st_dev), static_cast<uint64_t>(facts.st_ino)};
}

namespace {

// Turns direct I/O on or off for the open file; false when the file system does not have it.
bool SetDirect([[maybe_unused]] int file, [[maybe_unused]] bool on) {
#ifdef O_DIRECT
    const int flags = fcntl(file, F_GETFL);
    return flags != -1 && fcntl(file, F_SETFL, on ? flags | O_DIRECT : flags & ~O_DIRECT) == 0;
#else
    return false;
#endif
}

}  // namespace

OutputFile::OutputFile(const std::string& path, uint64_t directAfterBytes)
    : path_(path),
      handle_(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)),
      directAfterBytes_(directAfterBytes) {
    if (handle_ < 0) throw std::runtime_error("cannot write " + path);
    struct stat facts {};
    directPossible_ = fstat(static_cast<int>(handle_), &facts) == 0 && S_ISREG(facts.st_mode);
}

OutputFile::~OutputFile() {
    if (handle_ >= 0) close(static_cast<int>(handle_));
}

void OutputFile::Write(const char* data, size_t size) {
    const int file = static_cast<int>(handle_);
    const auto stopDirect = [&] {
        direct_ = false;
        directPossible_ = false;
        if (!SetDirect(file, false)) throw std::runtime_error("cannot write " + path_);
    };
    const bool aligned =
        size % kAlignment == 0 && reinterpret_cast<uintptr_t>(data) % kAlignment == 0 && written_ % kAlignment == 0;
    if (direct_ && !aligned) stopDirect();
    if (!direct_ && directPossible_ && aligned && written_ >= directAfterBytes_) {
        direct_ = SetDirect(file, true);
        directPossible_ = direct_;
    }
    while (size != 0) {
        const ssize_t written = write(file, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            // A file system may take the flag and still refuse the direct write itself.
            if (errno == EINVAL && direct_) {
                stopDirect();
                continue;
            }
            throw std::runtime_error("cannot write " + path_);
        }
        data += written;
        size -= static_cast<size_t>(written);
        written_ += static_cast<uint64_t>(written);
        if (size != 0 && direct_) stopDirect();  // what is left starts off the alignment
    }
}

void OutputFile::Close() {
    const int file = static_cast<int>(handle_);
    handle_ = -1;
    if (close(file) != 0) throw std::runtime_error("cannot write " + path_);
}

}  // namespace vextrel::tool
