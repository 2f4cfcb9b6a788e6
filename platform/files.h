// Folders and files by path: existence, creation, deletion and listing by name prefix.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vextrel::platform {

// The path separator that plays the role of the Windows backslash: '\\' on Windows, '/' on Linux.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// Whether the system reports attributes for the path (a folder or a file).
bool PathExists(const char* path);

// Whether the path names a regular file on a disk: not a folder, pipe or device, whose writes can
// block for as long as a reader pleases.
bool IsRegularFile(const char* path);

// Whether the process's standard output is a regular file on a disk (not a terminal, pipe or
// device, whose writes can block for as long as a reader pleases).
bool StandardOutputIsRegularFile();

// Replaces `*text` with the whole content of the file at `path`, read as the C library's text mode
// reads it (on Linux byte for byte; on Windows CR LF pairs become LF and a Ctrl-Z ends the text).
// False, with `*text` empty, when the file cannot be opened; a read error ends the text there. At
// most `limit` bytes are read; `*longer` tells whether the file holds more.
// Opens, reads and closes with as few system calls as it can (a configuration series reads
// thousands of small files): on Linux no size is asked first, and reading stops at the end of the
// file, so a pipe or device is read until its writer closes it.
bool ReadWholeFile(const char* path, size_t limit, std::string* text, bool* longer);

enum class CreateFolderResult { kCreated, kAlreadyExists, kFailed };

// Creates one folder level (CreateDirectoryA / mkdir 0777, the umask applies).
CreateFolderResult CreateFolder(const char* path);

enum class CreateFileResult { kCreated, kAlreadyExists, kFailed };

// Creates an empty file only when no entry of that name exists (O_CREAT | O_EXCL / CREATE_NEW), so
// that of several processes racing for one name exactly one gets it; the file is closed again.
CreateFileResult CreateNewFile(const char* path);

// Deletes a file; false when the system refuses.
bool DeleteFilePath(const char* path);

// Calls `visit` for every entry of `folder` whose name matches `prefix` followed by anything
// (FindFirstFileA with "folder\prefix*" / opendir + fnmatch), with its name and its last-write time
// as a 64-bit key (FILETIME units on Windows, nanoseconds on Linux). Nothing when the folder
// cannot be read.
void ListFolderByPrefix(const char* folder, const char* prefix,
                        const std::function<void(const char* name, uint64_t lastWriteTime)>& visit);

// The value of an environment variable, or null when it is not set.
const char* EnvironmentValue(const char* name);

// The name of the environment variable that holds the user's login name ("USERNAME" / "USER").
const char* UserNameVariable();

}  // namespace vextrel::platform
