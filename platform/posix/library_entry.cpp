// The ELF constructor and destructor of libvextrel.so feed the same attach and detach routine as
// DllMain does on Windows.
#include "lifecycle/library_lifecycle.h"

namespace {

__attribute__((constructor)) void LibraryLoaded() { vextrel::OnProcessAttach(); }

__attribute__((destructor)) void LibraryUnloaded() { vextrel::OnProcessDetach(); }

}  // namespace
