#include "platform/files.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vextrel::platform {

bool PathExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool IsRegularFile(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool StandardOutputIsRegularFile() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    return output != nullptr && output != INVALID_HANDLE_VALUE && GetFileType(output) == FILE_TYPE_DISK;
}

bool ReadWholeFile(const char* path, size_t limit, std::string* text, bool* longer) {
    text->clear();
    *longer = false;
    std::FILE* stream = std::fopen(path, "r");
    if (stream == nullptr) return false;
    char block[4096];
    for (;;) {
        if (text->size() == limit) {
            *longer = std::fgetc(stream) != EOF;
            break;
        }
        const size_t asked = std::min(sizeof block, limit - text->size());
        const size_t got = std::fread(block, 1, asked, stream);
        text->append(block, got);
        if (got < asked) break;
    }
    std::fclose(stream);
    return true;
}

CreateFolderResult CreateFolder(const char* path) {
    if (CreateDirectoryA(path, nullptr)) return CreateFolderResult::kCreated;
    return GetLastError() == ERROR_ALREADY_EXISTS ? CreateFolderResult::kAlreadyExists : CreateFolderResult::kFailed;
}

CreateFileResult CreateNewFile(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? CreateFileResult::kAlreadyExists
                                                                           : CreateFileResult::kFailed;
    }
    CloseHandle(file);
    return CreateFileResult::kCreated;
}

bool DeleteFilePath(const char* path) { return DeleteFileA(path) != 0; }

void ListFolderByPrefix(const char* folder, const char* prefix,
                        const std::function<void(const char* name, uint64_t lastWriteTime)>& visit) {
    std::string pattern = std::string(folder) + '\\' + prefix + '*';
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const uint64_t time =
            (static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) | found.ftLastWriteTime.dwLowDateTime;
        visit(found.cFileName, time);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

const char* EnvironmentValue(const char* name) { return std::getenv(name); }

const char* UserNameVariable() { return "USERNAME"; }

}  // namespace vextrel::platform
