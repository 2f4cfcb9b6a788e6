// Stack walking with RtlCaptureStackBackTrace (looked up in kernel32), modules with VirtualQuery and
// GetModuleHandleExA, symbols and source lines from "dbghelp.dll", loaded on first use.
#include "platform/stack.h"

#include "platform/bounded_text.h"

#include <windows.h>
#include <dbghelp.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

namespace vextrel::platform {
namespace {


// Converts a looked-up procedure address to the function type it is known to have.
template <typename Function>
Function ProcedureAs(FARPROC procedure) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(procedure));
}

using CaptureFunction = USHORT(WINAPI*)(ULONG, ULONG, PVOID*, PULONG);

std::atomic<CaptureFunction> captureFunction{nullptr};

// RtlCaptureStackBackTrace from the already loaded kernel32, looked up again on every call until
// it is found.
CaptureFunction FindCaptureFunction() {
    CaptureFunction function = captureFunction.load(std::memory_order_acquire);
    if (function != nullptr) return function;
    HMODULE kernel32 = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, L"kernel32.dll", &kernel32)) return nullptr;
    function = ProcedureAs<CaptureFunction>(GetProcAddress(kernel32, "RtlCaptureStackBackTrace"));
    captureFunction.store(function, std::memory_order_release);
    return function;
}

// The debug-help library's functions; all calls into it hold the symbol library lock.
struct DebugHelp {
    decltype(&SymInitialize) initialize = nullptr;
    decltype(&SymFromAddr) fromAddress = nullptr;
    decltype(&SymSetOptions) setOptions = nullptr;
    decltype(&SymGetOptions) getOptions = nullptr;
    decltype(&SymGetLineFromAddr64) lineFromAddress = nullptr;
};

std::mutex& SymbolLibraryLock() {
    static std::mutex lock;  // trivially destroyed: usable until the process ends
    return lock;
}

// Loads "dbghelp.dll" and initialises it for the process on the first successful call; null while
// it cannot be loaded. The caller holds the symbol library lock. Never unloaded.
const DebugHelp* LoadDebugHelp() {
    static DebugHelp* loaded = nullptr;
    if (loaded != nullptr) return loaded;
    HMODULE library = LoadLibraryW(L"dbghelp.dll");
    if (library == nullptr) return nullptr;
    static DebugHelp kept;  // in the library image: returned to the system with it
    loaded = &kept;
    loaded->initialize = ProcedureAs<decltype(&SymInitialize)>(GetProcAddress(library, "SymInitialize"));
    loaded->fromAddress = ProcedureAs<decltype(&SymFromAddr)>(GetProcAddress(library, "SymFromAddr"));
    loaded->setOptions = ProcedureAs<decltype(&SymSetOptions)>(GetProcAddress(library, "SymSetOptions"));
    loaded->getOptions = ProcedureAs<decltype(&SymGetOptions)>(GetProcAddress(library, "SymGetOptions"));
    loaded->lineFromAddress =
        ProcedureAs<decltype(&SymGetLineFromAddr64)>(GetProcAddress(library, "SymGetLineFromAddr64"));
    if (loaded->initialize != nullptr) {
        // Undecorated names and 32-bit modules (0x2002), plus SYMOPT_LOAD_LINES (0x10), without
        // which no source lines are reported for GCC-built modules. The options are set before the
        // initialisation: it loads every module of the process at once, and a module loaded
        // without 0x10 never gets its lines.
        if (loaded->setOptions != nullptr && loaded->getOptions != nullptr) {
            loaded->setOptions(loaded->getOptions() | 0x2002 | SYMOPT_LOAD_LINES);
        }
        loaded->initialize(GetCurrentProcess(), nullptr, TRUE);
    }
    return loaded;
}

}  // namespace

void CaptureStackFrames(void** frames, uint32_t count) {
    if (frames == nullptr || count == 0) return;
    uint32_t stored = 0;
    if (CaptureFunction capture = FindCaptureFunction()) {
        stored = capture(0, std::min(count, kMaxCapturedFrames), frames, nullptr);
    }
    if (stored < count) frames[stored] = nullptr;
}

void ModuleOfAddress(const void* address, uint64_t* base, char* name, size_t size) {
    MEMORY_BASIC_INFORMATION region{};
    const bool queried = VirtualQuery(address, &region, sizeof region) != 0;
    if (base != nullptr) {
        *base = queried ? static_cast<uint64_t>(reinterpret_cast<uintptr_t>(region.AllocationBase)) : 0;
    }
    HMODULE module = nullptr;
    // A module path may take 2048 bytes: the buffer is shared under the symbol library lock
    // rather than taken from the caller's stack.
    std::lock_guard<std::mutex> guard(SymbolLibraryLock());
    static char path[2048];
    path[0] = '\0';
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(address), &module) &&
        GetModuleFileNameA(module, path, sizeof path - 1) != 0) {
        const char* lastSeparator = std::strrchr(path, '\\');
        CopyTruncated(name, size, lastSeparator != nullptr ? lastSeparator + 1 : path);
        return;
    }
    CopyTruncated(name, size, "Unknown");
}

namespace {

// LookUpSymbol's work; the caller holds the symbol library lock.
bool LookUpSymbolLocked(const void* address, SymbolFacts* facts) {
    const DebugHelp* debugHelp = LoadDebugHelp();
    if (debugHelp == nullptr) return false;
    *facts = SymbolFacts{};
    const HANDLE process = GetCurrentProcess();
    const DWORD64 where = static_cast<DWORD64>(reinterpret_cast<uintptr_t>(address));

    if (debugHelp->lineFromAddress != nullptr) {
        IMAGEHLP_LINE64 line{};
        line.SizeOfStruct = sizeof line;
        DWORD displacement = 0;
        if (debugHelp->lineFromAddress(process, where, &displacement, &line) && line.FileName != nullptr) {
            facts->hasSourceLine = true;
            facts->sourceLine = static_cast<uint32_t>(line.LineNumber);
            CopyTruncated(facts->sourceFile, sizeof facts->sourceFile, line.FileName);
        }
    }

    if (debugHelp->fromAddress != nullptr) {
        // The symbol record: the fixed header followed by room for the name, 2048 bytes in all.
        // Static, like every debug-help call under the symbol library lock: off the caller's stack.
        alignas(SYMBOL_INFO) static unsigned char record[sizeof(SYMBOL_INFO) + kSymbolNameCapacity];
        std::memset(record, 0, sizeof record);
        SYMBOL_INFO* symbol = reinterpret_cast<SYMBOL_INFO*>(record);
        symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
        symbol->MaxNameLen = kSymbolNameCapacity;
        if (debugHelp->fromAddress(process, where, nullptr, symbol)) {
            facts->hasSymbol = true;
            facts->symbolAddress = static_cast<uint64_t>(symbol->Address);
            const size_t nameLength = strnlen(symbol->Name, kSymbolNameCapacity - 1);
            std::memcpy(facts->symbolName, symbol->Name, nameLength);
            facts->symbolName[nameLength] = '\0';
        }
    }
    return true;
}

}  // namespace

bool LookUpSymbol(const void* address, SymbolFacts* facts) {
    std::lock_guard<std::mutex> guard(SymbolLibraryLock());
    return LookUpSymbolLocked(address, facts);
}

bool LookUpSymbolWithoutWaiting(const void* address, SymbolFacts* facts) {
    // A crashed thread may hold the lock: then no symbols rather than a hang.
    std::unique_lock<std::mutex> guard(SymbolLibraryLock(), std::try_to_lock);
    return guard.owns_lock() && LookUpSymbolLocked(address, facts) && facts->hasSymbol;
}

}  // namespace vextrel::platform
