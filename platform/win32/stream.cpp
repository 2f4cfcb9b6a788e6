// The stream helpers on Windows: the Win32 handle of a C runtime stream, WriteFile with text-mode
// line ends, emptying the stream's buffer and reading the file's end through a second handle.
#include "platform/stream.h"

#include <windows.h>
#include <io.h>

namespace vextrel::platform {

intptr_t NativeHandleOfStream(std::FILE* stream) {
    if (stream == nullptr) return -1;
    const intptr_t handle = _get_osfhandle(_fileno(stream));
    return handle == reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE) ? -1 : handle;
}

void WriteToNativeHandle(intptr_t handle, const char* text, size_t length) {
    if (handle == -1 || text == nullptr) return;
    const HANDLE file = reinterpret_cast<HANDLE>(handle);
    // Text-mode streams write "\r\n" for '\n'; the raw lines match them.
    while (length > 0) {
        size_t run = 0;
        while (run < length && text[run] != '\n') ++run;
        DWORD written = 0;
        if (run > 0 && !WriteFile(file, text, static_cast<DWORD>(run), &written, nullptr)) return;
        if (run == length) return;
        if (!WriteFile(file, "\r\n", 2, &written, nullptr)) return;
        text += run + 1;
        length -= run + 1;
    }
}

void DiscardStreamBuffer(std::FILE* stream) {
    if (stream == nullptr) return;
    // What fflush leaves behind once it has written the buffer: an empty buffer, nothing counted.
    stream->_ptr = stream->_base;
    stream->_cnt = 0;
}

size_t CompareFileEnd(const char* path, const char* text, size_t length) {
    if (path == nullptr || text == nullptr || length == 0) return 0;
    // A second handle: the stream's own was opened for writing only. The stream shares reading
    // and writing, so this open succeeds while it is open.
    const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    char tail[kFileEndCapacity];
    DWORD count = 0;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        const LONGLONG want = size.QuadPart < LONGLONG{sizeof tail} ? size.QuadPart : LONGLONG{sizeof tail};
        LARGE_INTEGER at{};
        at.QuadPart = size.QuadPart - want;
        if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) ||
            !ReadFile(file, tail, static_cast<DWORD>(want), &count, nullptr)) {
            count = 0;
        }
    }
    CloseHandle(file);
    // Each prefix as the text-mode stream writes it ('\n' as "\r\n"), longest first; `written` is
    // the prefix's size in the file.
    size_t written = length;
    for (size_t i = 0; i < length; ++i) written += text[i] == '\n' ? 1 : 0;
    for (size_t prefix = length; prefix > 0; written -= text[--prefix] == '\n' ? 2 : 1) {
        if (written > count) continue;
        const char* at = tail + (count - written);
        bool same = true;
        for (size_t i = 0; i < prefix && same; ++i) {
            if (text[i] == '\n') {
                same = at[0] == '\r' && at[1] == '\n';
                at += 2;
            } else {
                same = *at++ == text[i];
            }
        }
        if (same) return prefix;
    }
    return 0;
}

}  // namespace vextrel::platform
