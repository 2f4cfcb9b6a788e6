#include "platform/pages.h"

#include <sys/mman.h>

namespace vextrel::platform {

void* AllocatePages(size_t bytes) {
    void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    return block == MAP_FAILED ? nullptr : block;
}

void FreePages(void* block, size_t bytes) {
    if (block != nullptr) munmap(block, bytes);
}

}  // namespace vextrel::platform
