// Whole pages straight from the operating system, for large blocks that must be returned to it
// whole when they are freed (a ring's slot array) instead of staying in the heap.
#pragma once

#include <cstddef>

namespace vextrel::platform {

// Maps `bytes` (rounded up to whole pages) of zeroed, readable and writable memory; null when the
// system refuses. On Linux the pages are populated by the same call (one system call instead of a
// page fault per page when the block is first touched).
void* AllocatePages(size_t bytes);

// Returns a block from AllocatePages of the same size to the system; null is ignored.
void FreePages(void* block, size_t bytes);

}  // namespace vextrel::platform
