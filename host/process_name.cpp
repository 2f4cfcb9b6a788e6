#include "host/process_name.h"

namespace vextrel {

void ProcessNameOf(const char* executableFileName, char (&processName)[kProcessNameCapacity]) {
    size_t length = 0;
    if (executableFileName != nullptr) {
        for (; length + 1 < kProcessNameCapacity; ++length) {
            const char c = executableFileName[length];
            if (c == '\0' || c == '.') break;
            processName[length] = c == ' ' ? '_' : c;
        }
    }
    processName[length] = '\0';
}

}  // namespace vextrel
