// Copying text into fixed-size buffers without ever writing past them.
#pragma once

#include <cstddef>

namespace vextrel {

// Copies as many characters of `source` (null: none) as fit into `size` - 1 bytes of `destination`
// and terminates it; nothing when `destination` is null or `size` is 0.
void CopyTruncated(char* destination, size_t size, const char* source);

}  // namespace vextrel
