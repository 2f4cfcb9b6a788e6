// Loads a shared library by file name and looks up its functions, as a host application does.
#pragma once

namespace demo {

// Loads the library (searched next to the executable first); null when it cannot be loaded.
void* LoadLibraryByName(const char* fileName);

// The address of an exported function, or null.
void* FindFunction(void* library, const char* name);

// Unloads the library.
void UnloadLibrary(void* library);

}  // namespace demo
