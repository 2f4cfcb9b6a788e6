// DllMain of vextrel.dll: process attach and detach feed the library's lifecycle; thread
// notifications are ignored. The library never refuses to load.
#include <windows.h>

#include "lifecycle/library_lifecycle.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) vextrel::OnProcessAttach();
    if (reason == DLL_PROCESS_DETACH) vextrel::OnProcessDetach();
    return TRUE;
}
