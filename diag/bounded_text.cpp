#include "diag/bounded_text.h"

#include <cstring>

namespace vextrel {

void CopyTruncated(char* destination, size_t size, const char* source) {
    if (destination == nullptr || size == 0) return;
    size_t length = 0;
    if (source != nullptr) {
        while (length + 1 < size && source[length] != '\0') ++length;
        std::memcpy(destination, source, length);
    }
    destination[length] = '\0';
}

}  // namespace vextrel
