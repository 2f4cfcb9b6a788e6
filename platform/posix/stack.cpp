// Stack walking with backtrace(), modules with dladdr(), symbol names from dladdr() and, when
// "libdw.so.1" can be loaded at run time, from libdw (static symbols too) with source lines.
#include "platform/stack.h"

#include "platform/bounded_text.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>

namespace vextrel::platform {
namespace {

// Writes the readable form of a symbol name: demangled when it is a mangled C++ name.
void CopySymbolName(char* destination, size_t size, const char* name) {
    int status = -1;
    char* demangled = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    CopyTruncated(destination, size, status == 0 && demangled != nullptr ? demangled : name);
    std::free(demangled);
}

// The parts of libdw's interface that the lookup uses, declared here so that the library builds
// without libdw's headers and runs without libdw itself.
struct Dwfl;
struct Dwfl_Module;
struct Dwfl_Line;
struct ElfSymbol {  // GElf_Sym on a 64-bit system
    uint32_t st_name;
    unsigned char st_info;
    unsigned char st_other;
    uint16_t st_shndx;
    uint64_t st_value;
    uint64_t st_size;
};
struct DwflCallbacks {  // Dwfl_Callbacks
    void* findElf;
    void* findDebuginfo;
    void* sectionAddress;
    char** debuginfoPath;
};

struct Libdw {
    Dwfl* (*begin)(const DwflCallbacks*) = nullptr;
    void (*reportBeginAdd)(Dwfl*) = nullptr;
    int (*linuxProcReport)(Dwfl*, pid_t) = nullptr;
    int (*reportEnd)(Dwfl*, int (*)(void*, void*, const char*, uint64_t, void*), void*) = nullptr;
    Dwfl_Module* (*addrModule)(Dwfl*, uint64_t) = nullptr;
    const char* (*moduleAddrInfo)(Dwfl_Module*, uint64_t, uint64_t*, ElfSymbol*, uint32_t*, void**,
                                  uint64_t*) = nullptr;
    Dwfl_Line* (*moduleGetSrc)(Dwfl_Module*, uint64_t) = nullptr;
    const char* (*lineInfo)(Dwfl_Line*, uint64_t*, int*, int*, uint64_t*, uint64_t*) = nullptr;
    Dwfl* session = nullptr;
};

template <typename Function>
bool Resolve(void* library, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(dlsym(library, name));
    return *function != nullptr;
}

// The callbacks libdw keeps a pointer to for the life of its session.
DwflCallbacks libdwCallbacks{};
char* libdwDebuginfoPath = nullptr;

// Loads libdw and reports the process's modules to it on the first call; null when libdw is
// missing or fails to initialise (names then come from dladdr alone, without source lines). The
// caller holds the symbol library lock. Neither libdw nor its session is ever released.
Libdw* LoadLibdw() {
    static bool attempted = false;
    static Libdw* loaded = nullptr;
    if (attempted) return loaded;
    attempted = true;
    void* library = dlopen("libdw.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return nullptr;
    Libdw dw;
    // Separate debug information is looked up by build id on this machine only: the standard
    // lookup would ask debuginfod servers over the network when DEBUGINFOD_URLS is set, blocking
    // the host thread that takes the stack trace.
    libdwCallbacks.findElf = dlsym(library, "dwfl_linux_proc_find_elf");
    libdwCallbacks.findDebuginfo = dlsym(library, "dwfl_build_id_find_debuginfo");
    libdwCallbacks.debuginfoPath = &libdwDebuginfoPath;
    const bool complete =
        libdwCallbacks.findElf != nullptr && libdwCallbacks.findDebuginfo != nullptr &&
        Resolve(library, "dwfl_begin", &dw.begin) && Resolve(library, "dwfl_report_begin_add", &dw.reportBeginAdd) &&
        Resolve(library, "dwfl_linux_proc_report", &dw.linuxProcReport) &&
        Resolve(library, "dwfl_report_end", &dw.reportEnd) && Resolve(library, "dwfl_addrmodule", &dw.addrModule) &&
        Resolve(library, "dwfl_module_addrinfo", &dw.moduleAddrInfo) &&
        Resolve(library, "dwfl_module_getsrc", &dw.moduleGetSrc) && Resolve(library, "dwfl_lineinfo", &dw.lineInfo);
    if (!complete) return nullptr;
    dw.session = dw.begin(&libdwCallbacks);
    if (dw.session == nullptr) return nullptr;
    if (dw.linuxProcReport(dw.session, getpid()) != 0 || dw.reportEnd(dw.session, nullptr, nullptr) != 0) {
        return nullptr;
    }
    static Libdw kept;  // in the library image: returned to the system with it
    kept = dw;
    loaded = &kept;
    return loaded;
}

// The module libdw knows for the address. When there is none, the process's modules are reported
// again first, since the address may lie in a module loaded after the last report.
Dwfl_Module* ModuleInLibdw(Libdw* dw, uint64_t address) {
    Dwfl_Module* module = dw->addrModule(dw->session, address);
    if (module != nullptr) return module;
    dw->reportBeginAdd(dw->session);
    dw->linuxProcReport(dw->session, getpid());
    dw->reportEnd(dw->session, nullptr, nullptr);
    return dw->addrModule(dw->session, address);
}

void LookUpInLibdw(Libdw* dw, uint64_t address, SymbolDetails* facts) {
    Dwfl_Module* module = ModuleInLibdw(dw, address);
    if (module == nullptr) return;
    uint64_t offset = 0;
    ElfSymbol symbol{};
    const char* name = dw->moduleAddrInfo(module, address, &offset, &symbol, nullptr, nullptr, nullptr);
    if (name != nullptr) {
        facts->hasSymbol = true;
        facts->symbolAddress = address - offset;
        CopySymbolName(facts->symbolName, sizeof facts->symbolName, name);
    }
    if (Dwfl_Line* line = dw->moduleGetSrc(module, address)) {
        int lineNumber = 0;
        const char* file = dw->lineInfo(line, nullptr, &lineNumber, nullptr, nullptr, nullptr);
        if (file != nullptr) {
            facts->hasSourceLine = true;
            facts->sourceLine = static_cast<uint32_t>(lineNumber);
            CopyTruncated(facts->sourceFile, sizeof facts->sourceFile, file);
        }
    }
}

std::mutex& SymbolLibraryLock() {
    static std::mutex lock;  // trivially destroyed: usable until the process ends
    return lock;
}

}  // namespace

void CaptureStackFrames(void** frames, uint32_t count) {
    if (frames == nullptr || count == 0) return;
    // backtrace() may run behind an interceptor (sanitizers) that adds frames of its own: the
    // stack is taken from the return address into this function's caller on, with the entry just
    // before it as entry 0.
    constexpr int kExtraFrames = 8;
    void* captured[kMaxCapturedFrames + kExtraFrames];
    const int total = backtrace(captured, static_cast<int>(std::size(captured)));
    void* const returnAddress = __builtin_return_address(0);
    int first = 0;
    for (int index = 1; index < total && index <= kExtraFrames + 1; ++index) {
        if (captured[index] == returnAddress) {
            first = index - 1;
            break;
        }
    }
    const uint32_t available = total > first ? static_cast<uint32_t>(total - first) : 0;
    const uint32_t stored = std::min({available, count, kMaxCapturedFrames});
    std::copy(captured + first, captured + first + stored, frames);
    if (stored < count) frames[stored] = nullptr;
}

void ModuleOfAddress(const void* address, uint64_t* base, char* name, size_t size) {
    Dl_info info{};
    const bool found = dladdr(address, &info) != 0;
    if (base != nullptr) *base = found ? static_cast<uint64_t>(reinterpret_cast<uintptr_t>(info.dli_fbase)) : 0;
    if (!found || info.dli_fname == nullptr || info.dli_fname[0] == '\0') {
        CopyTruncated(name, size, "Unknown");
        return;
    }
    const char* lastSeparator = std::strrchr(info.dli_fname, '/');
    CopyTruncated(name, size, lastSeparator != nullptr ? lastSeparator + 1 : info.dli_fname);
}

bool LookUpSymbol(const void* address, SymbolDetails* facts) {
    std::lock_guard<std::mutex> guard(SymbolLibraryLock());
    *facts = SymbolDetails{};
    if (Libdw* dw = LoadLibdw()) LookUpInLibdw(dw, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(address)), facts);
    if (!facts->hasSymbol) {
        Dl_info info{};
        if (dladdr(address, &info) != 0 && info.dli_sname != nullptr && info.dli_saddr != nullptr) {
            facts->hasSymbol = true;
            facts->symbolAddress = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(info.dli_saddr));
            CopySymbolName(facts->symbolName, sizeof facts->symbolName, info.dli_sname);
        }
    }
    return true;
}

bool LookUpSymbolWithoutWaiting(const void* address, SymbolDetails* facts) {
    Dl_info info{};
    if (SymbolLookUpWaitsForUnload() || dladdr(address, &info) == 0 || info.dli_sname == nullptr ||
        info.dli_saddr == nullptr)
        return false;
    facts->hasSymbol = true;
    facts->symbolAddress = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(info.dli_saddr));
    const size_t length = strnlen(info.dli_sname, kSymbolNameCapacity - 1);
    std::memcpy(facts->symbolName, info.dli_sname, length);
    facts->symbolName[length] = '\0';
    facts->hasSourceLine = false;
    return true;
}

}  // namespace vextrel::platform
