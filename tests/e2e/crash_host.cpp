// A host that traces and then crashes, for the crash tests:
//   crash_host null|abort COUNT [own]
// traces COUNT numbered records (facility 1, priority 2), then crashes by a write through a null
// pointer or by abort(); with "own" it installs a crash handler of its own before loading the
// library.
#include <cstdlib>
#include <cstring>
#include <string>

#include "examples/library_loader.h"
#include "include/vextrel.h"
#include "tests/e2e/crash_host.h"

// Exported, so that the crash record names them from the dynamic symbol table.
extern "C" [[gnu::noinline]] [[gnu::visibility("default")]] void CrashHostByNullWrite() {
    volatile int* volatile target = nullptr;
    *target = 1;
}

extern "C" [[gnu::noinline]] [[gnu::visibility("default")]] void CrashHostByAbort() { std::abort(); }

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    if (argc > 3 && std::strcmp(argv[3], "own") == 0) crash_host::InstallOwnCrashHandler();
    void* library = demo::LoadLibraryByName(VEXTREL_LIBRARY_FILE_NAME);
    if (library == nullptr) return 3;
    auto format = reinterpret_cast<decltype(&VextrelFormat)>(demo::FindFunction(library, "VextrelFormat"));
    if (format == nullptr) return 3;
    const int count = std::atoi(argv[2]);
    for (int n = 0; n < count; ++n) format(VXF_WORD(1, 2), "record %d before the crash", n);
    if (std::strcmp(argv[1], "abort") == 0) CrashHostByAbort();
    CrashHostByNullWrite();
    return 0;
}
