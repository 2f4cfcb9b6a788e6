// DllMain of vextrel.dll: process attach and detach feed the library's lifecycle; thread
// notifications are ignored. The library never refuses to load. A detach with a non-null reserved
// argument is the process exiting: every other thread has already been ended.
#include <windows.h>

#include "lifecycle/library_lifecycle.h"
#include "platform/stack.h"
#include "platform/thread.h"

namespace __gnu_cxx {
// Frees the emergency exception buffer of the C++ run-time (about 73 KB, taken from the process
// heap when the DLL starts).
void __freeres() noexcept;
}  // namespace __gnu_cxx

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        // Threads started here are held until the first exported call (see platform/thread.h).
        vextrel::platform::SetInsideLibraryLoad(true);
        vextrel::platform::NoteLibraryUnloading(false);
        vextrel::OnProcessAttach();
        vextrel::platform::SetInsideLibraryLoad(false);
    }
    if (reason == DLL_PROCESS_DETACH) {
        // Unloaded before any exported call: the writer threads of the load were never created.
        if (reserved == nullptr) vextrel::platform::DiscardHeldThreads();
        vextrel::platform::NoteLibraryUnloading(true);  // this thread holds the loader lock
        vextrel::OnProcessDetach(reserved != nullptr);
        // The C++ run-time is linked into the DLL, so each load has its own emergency buffer and
        // nothing else frees it: without this every unload while the process runs would leave it
        // in the heap. No exception is thrown in this copy of the library after its detach.
        if (reserved == nullptr) __gnu_cxx::__freeres();
    }
    return TRUE;
}
