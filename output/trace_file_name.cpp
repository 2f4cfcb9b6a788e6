#include "output/trace_file_name.h"

#include <cstdio>

namespace vextrel {

void TraceFilePathFor(const char* folder, const char* baseName, bool append, uint32_t counterValue,
                      const platform::CalendarTime& now, char (&path)[kTraceFilePathCapacity]) {
    if (folder == nullptr) folder = "";
    if (baseName == nullptr) baseName = "";
    const char* const extension = "txt";
    // snprintf cuts an over-long path at the buffer, terminator included.
    if (append) {
        std::snprintf(path, sizeof path, "%s/%s.%s", folder, baseName, extension);
    } else if (counterValue == 0) {
        std::snprintf(path, sizeof path, "%s/%s_%04d_%02d_%02d_%02d_%02d_%02d.%s", folder, baseName, now.year,
                      now.month, now.day, now.hour, now.minute, now.second, extension);
    } else {
        std::snprintf(path, sizeof path, "%s/%s_%010u.%s", folder, baseName, counterValue, extension);
    }
}

}  // namespace vextrel
