// What the vextrel program needs from the operating system beyond the library's platform layer:
// whether a stream is a terminal, the identity of a file, and a file written in large pieces. One
// implementation per system (tools/posix/, tools/win32/), chosen by the build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace vextrel::tool {

// True when `stream` writes to a terminal (a console window on Windows).
bool IsTerminal(std::FILE* stream);

// What tells one file from another whatever its name: device and inode, or volume serial number
// and file index on Windows. A file renamed keeps it; a new file at the same path gets another.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t index = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at `path`; nullopt when there is none or it cannot be read.
std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path);

// A file written from start to end in large pieces, for outputs of gigabytes. On Linux, past its
// first `directAfterBytes` (256 MB unless told), a regular file is written past the system's file
// cache (direct I/O) when its file system allows it: the pieces go to the disk from the program's
// own buffer, where copying gigabytes into freshly allocated cache pages cost the system more time
// than the program took to produce them. Smaller outputs, and anything else (a pipe, a device, a
// file system without direct I/O), are written through the cache as usual.
class OutputFile {
public:
    // Address and size of every piece but the last are multiples of this, as direct I/O requires.
    static constexpr size_t kAlignment = 4096;
    static constexpr uint64_t kDirectAfterBytes = uint64_t{256} << 20;

    // Creates or empties the file; throws std::runtime_error("cannot write PATH") when it cannot.
    explicit OutputFile(const std::string& path, uint64_t directAfterBytes = kDirectAfterBytes);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Writes the next piece; throws std::runtime_error when it cannot. A piece whose size is not a
    // multiple of kAlignment ends the direct writes: it and any piece after it go through the cache.
    void Write(const char* data, size_t size);
    // Closes the file; throws std::runtime_error when what was written cannot be kept.
    void Close();
    // True while pieces go past the cache.
    bool Direct() const { return direct_; }

private:
    std::string path_;
    intptr_t handle_;
    uint64_t directAfterBytes_;
    uint64_t written_ = 0;
    bool directPossible_ = false;  // a regular file that has not refused direct writes yet
    bool direct_ = false;
};

}  // namespace vextrel::tool
