// The stream helpers on Linux: the descriptor, write(2), __fpurge and pread of the file's end.
#include "platform/stream.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vextrel::platform {

intptr_t NativeHandleOfStream(std::FILE* stream) { return stream != nullptr ? fileno(stream) : -1; }

void WriteToNativeHandle(intptr_t handle, const char* text, size_t length) {
    if (handle < 0 || text == nullptr) return;
    while (length > 0) {
        const ssize_t written = write(static_cast<int>(handle), text, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        text += written;
        length -= static_cast<size_t>(written);
    }
}

void DiscardStreamBuffer(std::FILE* stream) {
    if (stream != nullptr) __fpurge(stream);
}

size_t CompareFileEnd(const char* path, const char* text, size_t length) {
    if (path == nullptr || text == nullptr || length == 0) return 0;
    const int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0) return 0;
    char tail[kFileEndCapacity];
    size_t count = 0;
    const off_t size = lseek(file, 0, SEEK_END);
    if (size > 0) {
        const size_t want = static_cast<size_t>(size) < sizeof tail ? static_cast<size_t>(size) : sizeof tail;
        const ssize_t got = pread(file, tail, want, size - static_cast<off_t>(want));
        count = got > 0 ? static_cast<size_t>(got) : 0;
    }
    close(file);
    for (size_t prefix = length < count ? length : count; prefix > 0; --prefix) {
        if (std::memcmp(tail + count - prefix, text, prefix) == 0) return prefix;
    }
    return 0;
}

}  // namespace vextrel::platform
