#include "platform/debugger.h"

#include <cstdio>

namespace vextrel::platform {

void WriteDebuggerOutput(const char* text) {
    if (text == nullptr) return;
    std::fputs(text, stderr);
    std::fflush(stderr);
}

}  // namespace vextrel::platform
