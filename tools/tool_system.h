// What the vextrel program needs from the operating system beyond the library's platform layer:
// whether a stream is a terminal, and the identity of a file. One implementation per system
// (tools/posix/, tools/win32/), chosen by the build.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>

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

}  // namespace vextrel::tool
