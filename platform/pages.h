// Whole pages straight from the operating system, for large blocks that must be returned to it
// whole when they are freed (a ring's slot array) instead of staying in the heap.
#pragma once

#include <cstddef>

namespace vextrel::platform {

// Maps `bytes` (rounded up to whole pages) of zeroed, readable and writable memory, every page of
// it in memory and written once before the call returns (no page fault, nor a virtual machine's
// host filling the page in, when the block is first written); null when the system refuses. On
// Linux a block of 2 MB or more starts on a 2 MB boundary and asks for transparent huge pages,
// which the system populates and maps at a fraction of the cost of 4 KB pages.
void* AllocatePages(size_t bytes);

// Returns a block from AllocatePages of the same size to the system; null is ignored.
void FreePages(void* block, size_t bytes);

}  // namespace vextrel::platform
