#include "platform/debugger.h"

#include <windows.h>

namespace vextrel::platform {

void WriteDebuggerOutput(const char* text) {
    if (text != nullptr) OutputDebugStringA(text);
}

}  // namespace vextrel::platform
