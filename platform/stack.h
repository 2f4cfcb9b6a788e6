// Stack walking, module lookup and the symbol library (dbghelp on Windows; dladdr, the C++ demangler
// and, when it can be loaded, libdw on Linux). These use the dynamic loader: call them from host
// threads only, never from a writer thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vextrel::platform {

// The most return addresses one capture stores.
constexpr uint32_t kMaxCapturedFrames = 62;

// Room for a symbol name, terminator included.
constexpr size_t kSymbolNameCapacity = 1960;

// Room for a source file path, terminator included.
constexpr size_t kSourceFileCapacity = 1024;

// Fills `frames` with the calling thread's return addresses, innermost first; entry 0 lies inside
// this function itself. Stores at most min(count, 62) addresses and, when it stored fewer than
// `count`, a null entry right after the last one. Nothing happens when `frames` is null or `count`
// is 0; when the system offers no stack walker, only the null entry is stored.
[[gnu::noinline]] void CaptureStackFrames(void** frames, uint32_t count);

// Writes the file name (the part after the last path separator) of the module that contains
// `address` into `name`, cut to `size` - 1 characters, or "Unknown" when no module contains it.
// Stores the module's base (the allocation base of the address's region on Windows, dli_fbase on
// Linux; 0 when unknown) in `base`.
void ModuleOfAddress(const void* address, uint64_t* base, char* name, size_t size);

// What the symbol library knows about one code address.
struct SymbolDetails {
    bool hasSymbol = false;
    uint64_t symbolAddress = 0;
    char symbolName[kSymbolNameCapacity] = {};  // readable (demangled) name, cut at the capacity
    bool hasSourceLine = false;
    uint32_t sourceLine = 0;
    char sourceFile[kSourceFileCapacity] = {};  // cut at the capacity
};

// Looks `address` up in the symbol library, loading and initialising the library on first use.
// False when the library cannot be loaded (the next call tries again); `facts` is then untouched.
// On Linux dladdr always answers, so the result is always true; libdw adds static symbols and
// source lines where it can be loaded. Safe on several threads at once: every use of the library
// and of its buffers is serialised.
bool LookUpSymbol(const void* address, SymbolDetails* facts);

// Looks `address` up without waiting for any lock and without allocating: the dynamic symbol
// table only, names left undemangled (Linux); the debug-help library when it is loaded already and
// no other thread is using it, else the module's export table (Windows). False when nothing is
// known.
bool LookUpSymbolWithoutWaiting(const void* address, SymbolDetails* facts);

// Set by the unload entry for the time the library is being unloaded: the unloading thread then
// holds the system loader's lock, which module and symbol lookups wait for, so the crash path
// names no module or symbol meanwhile.
void NoteLibraryUnloading(bool unloading);

// Whether NoteLibraryUnloading(true) holds: LookUpSymbolWithoutWaiting then gives false.
bool SymbolLookUpWaitsForUnload();

// Whether NoteLibraryUnloading(true) holds: the unload (or the process's end) is under way.
bool LibraryUnloadUnderWay();

// ModuleOfAddress, or "Unknown" and base 0 while the library is being unloaded.
void ModuleOfAddressWithoutWaiting(const void* address, uint64_t* base, char* name, size_t size);

}  // namespace vextrel::platform
