#include "diag/memory_dump_line.h"

#include <algorithm>
#include <cstdio>

namespace vextrel {

void FormatMemoryDumpLine(const char* label, uint64_t address, const uint8_t* bytes, uint32_t count,
                          char (&line)[kMemoryDumpLineCapacity]) {
    const int written = std::snprintf(line, sizeof line, "%.*s 0x%016llX:", static_cast<int>(kMemoryDumpLabelLimit),
                                      label != nullptr ? label : "", static_cast<unsigned long long>(address));
    if (written < 0 || bytes == nullptr) return;
    size_t position = static_cast<size_t>(written);
    const uint32_t shown = std::min(count, kMemoryDumpBytesPerLine);
    for (uint32_t index = 0; index < shown && position < sizeof line; ++index) {
        std::snprintf(line + position, sizeof line - position, " %02lX", static_cast<unsigned long>(bytes[index]));
        position += 3;
    }
}

void FormatNullMemoryDumpLine(const char* label, char (&line)[kMemoryDumpLineCapacity]) {
    std::snprintf(line, sizeof line, "%.*s: (null)", static_cast<int>(kMemoryDumpLabelLimit),
                  label != nullptr ? label : "");
}

void ForEachMemoryDumpLine(const char* label, const void* data, uint32_t length,
                           const std::function<void(const char* line)>& emit) {
    char line[kMemoryDumpLineCapacity];
    if (data == nullptr) {
        FormatNullMemoryDumpLine(label, line);
        emit(line);
        return;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    const uint64_t start = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(data));
    for (uint32_t offset = 0; offset < length;) {
        const uint32_t count = std::min(length - offset, kMemoryDumpBytesPerLine);
        FormatMemoryDumpLine(label, start + offset, bytes + offset, count, line);
        emit(line);
        offset += count;
    }
}

}  // namespace vextrel
