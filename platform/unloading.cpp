// Whether the library is being unloaded, for the crash path's module and symbol lookups and for
// the stop of writers that outlive the stop wait.
#include <atomic>

#include "platform/stack.h"

namespace vextrel::platform {
namespace {

std::atomic<bool> g_unloading{false};

}  // namespace

void NoteLibraryUnloading(bool unloading) { g_unloading.store(unloading, std::memory_order_release); }

void ModuleOfAddressWithoutWaiting(const void* address, uint64_t* base, char* name, size_t size) {
    if (!g_unloading.load(std::memory_order_acquire)) {
        ModuleOfAddress(address, base, name, size);
        return;
    }
    if (base != nullptr) *base = 0;
    if (name != nullptr && size > 0) {
        const char unknown[] = "Unknown";
        size_t i = 0;
        for (; i + 1 < size && i + 1 < sizeof unknown; ++i) name[i] = unknown[i];
        name[i] = '\0';
    }
}

bool SymbolLookUpWaitsForUnload() { return g_unloading.load(std::memory_order_acquire); }

bool LibraryUnloadUnderWay() { return g_unloading.load(std::memory_order_acquire); }

}  // namespace vextrel::platform
