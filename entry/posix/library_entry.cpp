// The ELF constructor and destructor of libvextrel.so feed the same attach and detach routine as
// DllMain does on Windows.
//
// The process is known to be exiting when the destructor runs after the library's exit handler:
// exit() runs the handlers registered with atexit before any destructor of a loaded library, while
// dlclose runs this destructor before the library's own exit handlers.
#include <cstdlib>

#include "lifecycle/library_lifecycle.h"
#include "platform/crash.h"
#include "platform/stack.h"

namespace {

bool g_processExiting = false;

void MarkProcessExiting() { g_processExiting = true; }

// quick_exit runs no destructor of a loaded library: its handler stops the library as exit would,
// so that what was traced before is written. dlclose drops the handler with the library.
void QuickExiting() {
    g_processExiting = true;
    vextrel::OnProcessDetach(true);
}

__attribute__((constructor)) void LibraryLoaded() {
    g_processExiting = false;
    vextrel::platform::NoteLibraryUnloading(false);
    std::atexit(MarkProcessExiting);
    std::at_quick_exit(QuickExiting);
    vextrel::OnProcessAttach();
}

__attribute__((destructor)) void LibraryUnloaded() {
    vextrel::platform::NoteLibraryUnloading(true);
    vextrel::OnProcessDetach(g_processExiting);
    if (!g_processExiting) vextrel::platform::ReleaseThreadCrashStacks();
}

}  // namespace
