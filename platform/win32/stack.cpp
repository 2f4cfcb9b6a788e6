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
DebugHelp* g_debugHelp = nullptr;  // set once loaded, under the symbol library lock

const DebugHelp* LoadDebugHelp() {
    DebugHelp*& loaded = g_debugHelp;
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
bool LookUpSymbolLocked(const void* address, SymbolDetails* facts) {
    const DebugHelp* debugHelp = LoadDebugHelp();
    if (debugHelp == nullptr) return false;
    *facts = SymbolDetails{};
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

bool LookUpSymbol(const void* address, SymbolDetails* facts) {
    std::lock_guard<std::mutex> guard(SymbolLibraryLock());
    return LookUpSymbolLocked(address, facts);
}

namespace {

// The exported function that begins where the function holding `address` begins (by the module's
// unwind table), from the export table of the module the address lies in; false for a function
// that is not exported. Reads only the mapped image: no lock, no allocation, no loading.
bool LookUpExport(const void* address, SymbolDetails* facts) {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(address, &region, sizeof region) == 0 || region.AllocationBase == nullptr) return false;
    const auto* base = static_cast<const unsigned char*>(region.AllocationBase);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    if (headers->Signature != IMAGE_NT_SIGNATURE || headers->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        return false;
    }
    const IMAGE_DATA_DIRECTORY& directory = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    DWORD64 imageBase = 0;
    const PRUNTIME_FUNCTION function =
        RtlLookupFunctionEntry(static_cast<DWORD64>(reinterpret_cast<uintptr_t>(address)), &imageBase, nullptr);
    if (directory.VirtualAddress == 0 || function == nullptr ||
        imageBase != static_cast<DWORD64>(reinterpret_cast<uintptr_t>(base))) {
        return false;
    }
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* functions = reinterpret_cast<const DWORD*>(base + exports->AddressOfFunctions);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    const auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        if (ordinals[i] >= exports->NumberOfFunctions || functions[ordinals[i]] != function->BeginAddress) continue;
        facts->hasSymbol = true;
        facts->symbolAddress = static_cast<uint64_t>(imageBase + function->BeginAddress);
        CopyTruncated(facts->symbolName, sizeof facts->symbolName, reinterpret_cast<const char*>(base + names[i]));
        facts->hasSourceLine = false;
        facts->sourceLine = 0;
        facts->sourceFile[0] = '\0';
        return true;
    }
    return false;
}

}  // namespace

bool LookUpSymbolWithoutWaiting(const void* address, SymbolDetails* facts) {
    // A crashed thread may hold the lock: then no symbols rather than a hang.
    std::unique_lock<std::mutex> guard(SymbolLibraryLock(), std::try_to_lock);
    if (!guard.owns_lock() || SymbolLookUpWaitsForUnload()) return false;
    // Loading the debug-help library reads the symbols of every module of the process, seconds
    // under some systems: a crashing process uses it only when it is loaded already, and otherwise
    // names the exported functions, as the dynamic symbol table does on Linux.
    if (g_debugHelp != nullptr) return LookUpSymbolLocked(address, facts) && facts->hasSymbol;
    return LookUpExport(address, facts);
}

}  // namespace vextrel::platform
