#include "platform/pages.h"

#include <windows.h>

namespace vextrel::platform {

void* AllocatePages(size_t bytes) { return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE); }

void FreePages(void* block, size_t) {
    if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace vextrel::platform
