/* Built with clang for the MSVC ABI and linked by lld-link against vextrel.lib alone (no C run-time):
 * the exit code says whether the library's functions answered. */
#include "vextrel.h"

__declspec(dllimport) void __stdcall ExitProcess(unsigned code);

void start(void) {
    const char* text = VextrelOSErrToString(-9073);
    ExitProcess(text[0] == 'D' && VextrelGetTimestamp() != 0 ? 0u : 3u);
}
