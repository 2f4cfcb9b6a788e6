#include <windows.h>

#include "library_loader.h"

namespace demo {

void* LoadLibraryByName(const char* fileName) { return reinterpret_cast<void*>(LoadLibraryA(fileName)); }

void* FindFunction(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void UnloadLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace demo
