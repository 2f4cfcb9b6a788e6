#include "platform/pages.h"

#include <windows.h>

namespace vextrel::platform {

void* AllocatePages(size_t bytes) {
    void* block = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (block == nullptr) return nullptr;
    // Committed pages come in on their first touch: each is touched here, so that no trace call
    // writing into the block waits for the system.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    for (size_t offset = 0; offset < bytes; offset += system.dwPageSize) {
        static_cast<volatile char*>(block)[offset] = 0;
    }
    return block;
}

void FreePages(void* block, size_t) {
    if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace vextrel::platform
