#include <dlfcn.h>

#include "library_loader.h"

namespace demo {

void* LoadLibraryByName(const char* fileName) { return dlopen(fileName, RTLD_NOW); }

void* FindFunction(void* library, const char* name) { return dlsym(library, name); }

void UnloadLibrary(void* library) { dlclose(library); }

}  // namespace demo
