// A host that traces and then crashes, for the crash tests:
//   crash_host null|abort|overflow COUNT [own|worker|loaded-by-worker]
// traces COUNT numbered records (facility 1, priority 2), then crashes by a write through a null
// pointer, by abort() or by overflowing its stack; with "own" it installs a crash handler of its
// own before loading the library; with "worker" a second thread traces and crashes; with
// "loaded-by-worker" a second thread loads the library and the main thread traces and crashes.
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "examples/library_loader.h"
#include "include/vextrel.h"
#include "tests/e2e/crash_host.h"

// Exported, so that the crash record names them from the dynamic symbol table.
extern "C" [[gnu::noinline]] [[gnu::visibility("default")]] void CrashHostByNullWrite() {
    volatile int* volatile target = nullptr;
    *target = 1;
}

extern "C" [[gnu::noinline]] [[gnu::visibility("default")]] void CrashHostByAbort() { std::abort(); }

// Recurses until the stack is gone (the depth is never reached); each level keeps its own block.
extern "C" [[gnu::noinline]] [[gnu::visibility("default")]] int CrashHostByOverflow(volatile char* previous,
                                                                                    long depth) {
    volatile char block[512];
    block[0] = previous != nullptr ? previous[0] : 1;
    if (depth == 0) return block[0];
    return CrashHostByOverflow(block, depth - 1) + block[1];
}

namespace {

decltype(&VextrelFormat) g_format = nullptr;

bool Load() {
    void* library = demo::LoadLibraryByName(VEXTREL_LIBRARY_FILE_NAME);
    if (library == nullptr) return false;
    g_format = reinterpret_cast<decltype(&VextrelFormat)>(demo::FindFunction(library, "VextrelFormat"));
    return g_format != nullptr;
}

void TraceAndCrash(const char* how, int count) {
    for (int n = 0; n < count; ++n) g_format(VXF_WORD(1, 2), "record %d before the crash", n);
    if (std::strcmp(how, "abort") == 0) CrashHostByAbort();
    if (std::strcmp(how, "overflow") == 0) CrashHostByOverflow(nullptr, std::strtol("-1", nullptr, 10));
    CrashHostByNullWrite();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string variant = argc > 3 ? argv[3] : "";
    if (variant == "own") crash_host::InstallOwnCrashHandler();
    bool loaded = false;
    if (variant == "loaded-by-worker") {
        std::thread([&] { loaded = Load(); }).join();
    } else {
        loaded = Load();
    }
    if (!loaded) return 3;
    const int count = std::atoi(argv[2]);
    if (variant == "worker") {
        std::thread(TraceAndCrash, argv[1], count).join();
    } else {
        TraceAndCrash(argv[1], count);
    }
    return 0;
}
