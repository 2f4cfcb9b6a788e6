#include "platform/files.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace vextrel::platform {

bool PathExists(const char* path) {
    struct stat info;
    return stat(path, &info) == 0;
}

bool IsRegularFile(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

bool StandardOutputIsRegularFile() {
    struct stat info;
    return fstat(STDOUT_FILENO, &info) == 0 && S_ISREG(info.st_mode);
}

bool ReadWholeFile(const char* path, size_t limit, std::string* text, bool* longer) {
    text->clear();
    *longer = false;
    const int descriptor = open(path, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return false;
    // No size asked first: reads fill the buffer, doubled while they fill it, until a read returns
    // nothing (a small file takes two reads) or the limit is reached.
    size_t length = 0;
    if (text->capacity() < 4096) text->reserve(4096);
    for (;;) {
        if (length == limit) {
            char probe;
            ssize_t more;
            do more = read(descriptor, &probe, 1);
            while (more < 0 && errno == EINTR);
            *longer = more > 0;
            break;
        }
        if (length == text->capacity()) text->reserve(std::min(2 * length, limit));
        text->resize(std::min(text->capacity(), limit));
        const size_t asked = text->size() - length;
        const ssize_t got = read(descriptor, text->data() + length, asked);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        length += static_cast<size_t>(got);
    }
    text->resize(length);
    close(descriptor);
    return true;
}

CreateFolderResult CreateFolder(const char* path) {
    if (mkdir(path, 0777) == 0) return CreateFolderResult::kCreated;
    return errno == EEXIST ? CreateFolderResult::kAlreadyExists : CreateFolderResult::kFailed;
}

CreateFileResult CreateNewFile(const char* path) {
    const int descriptor = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) return errno == EEXIST ? CreateFileResult::kAlreadyExists : CreateFileResult::kFailed;
    close(descriptor);
    return CreateFileResult::kCreated;
}

bool DeleteFilePath(const char* path) { return unlink(path) == 0; }

void ListFolderByPrefix(const char* folder, const char* prefix,
                        const std::function<void(const char* name, uint64_t lastWriteTime)>& visit) {
    DIR* directory = opendir(folder);
    if (directory == nullptr) return;
    const size_t prefixLength = std::strlen(prefix);
    while (dirent* entry = readdir(directory)) {
        if (std::strncmp(entry->d_name, prefix, prefixLength) != 0) continue;
        std::string path = std::string(folder) + '/' + entry->d_name;
        struct stat info;
        if (stat(path.c_str(), &info) != 0) continue;
        const uint64_t time =
            static_cast<uint64_t>(info.st_mtim.tv_sec) * 1000000000ull + static_cast<uint64_t>(info.st_mtim.tv_nsec);
        visit(entry->d_name, time);
    }
    closedir(directory);
}

const char* EnvironmentValue(const char* name) { return std::getenv(name); }

const char* UserNameVariable() { return "USER"; }

}  // namespace vextrel::platform
