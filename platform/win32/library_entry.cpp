// DllMain of vextrel.dll: process attach and detach feed the library's lifecycle; thread
// notifications are ignored. The library never refuses to load. A detach with a non-null reserved
// argument is the process exiting: every other thread has already been ended.
#include <windows.h>

#include "lifecycle/library_lifecycle.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) vextrel::OnProcessAttach();
    if (reason == DLL_PROCESS_DETACH) vextrel::OnProcessDetach(reserved != nullptr);
    return TRUE;
}
