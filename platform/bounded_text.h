// Copying text into fixed-size buffers without ever writing past them. Used on both sides of the
// platform layer, so it lives here and depends on nothing.
#pragma once

#include <cstddef>
#include <cstring>

namespace vextrel {

// Copies as many characters of `source` (null: none) as fit into `size` - 1 bytes of `destination`
// and terminates it; nothing when `destination` is null or `size` is 0.
inline void CopyTruncated(char* destination, size_t size, const char* source) {
    if (destination == nullptr || size == 0) return;
    size_t length = 0;
    if (source != nullptr) {
        while (length + 1 < size && source[length] != '\0') ++length;
        std::memcpy(destination, source, length);
    }
    destination[length] = '\0';
}

}  // namespace vextrel
