#include "platform/pages.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstdint>

namespace vextrel::platform {
namespace {

constexpr size_t kPageBytes = 4096;
// The size of a transparent huge page on x86-64.
constexpr size_t kHugePageBytes = size_t{2} << 20;

// Maps `bytes` with its start on a huge-page boundary: the mapping is made larger by one huge page
// and the parts before the boundary and after the block are handed back. Null when refused.
char* MapHugeAligned(size_t bytes) {
    const size_t span = bytes + kHugePageBytes;
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    char* const first = static_cast<char*>(raw);
    const uintptr_t address = reinterpret_cast<uintptr_t>(first);
    char* const start = first + ((kHugePageBytes - address % kHugePageBytes) % kHugePageBytes);
    if (start != first) munmap(first, static_cast<size_t>(start - first));
    char* const end = start + bytes;
    if (end != first + span) munmap(end, static_cast<size_t>(first + span - end));
    return start;
}

// Writes a zero into each 4 KB page of a freshly mapped block. The mapping calls populate it, but
// a virtual machine's host may still back a page only when the guest first writes to it: on this
// project's test machines the first write to each small page of a new ring cost the trace call that
// made it about 5 µs (every sixth or seventh record of the ring's first pass). One write per page
// here moves that cost to the configuration's start; where the pages are backed already, it is a
// store per page.
void WriteEachPage(char* block, size_t bytes) {
    for (size_t offset = 0; offset < bytes; offset += kPageBytes) *static_cast<volatile char*>(block + offset) = 0;
}

}  // namespace

void* AllocatePages(size_t bytes) {
    bytes = (bytes + kPageBytes - 1) / kPageBytes * kPageBytes;
    if (bytes < kHugePageBytes) {
        void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (block == MAP_FAILED) return nullptr;
        WriteEachPage(static_cast<char*>(block), bytes);
        return block;
    }
    // A ring of a few megabytes in 2 MB pages costs the system a fraction of the work of 4 KB pages,
    // both to populate and on the first touch of each page (in a virtual machine above all). The
    // part past the last whole huge page stays in small pages: memory is never rounded up.
    char* block = MapHugeAligned(bytes);
    if (block == nullptr) return nullptr;
    madvise(block, bytes, MADV_HUGEPAGE);  // a refusal leaves small pages, which serve as well
    if (madvise(block, bytes, MADV_POPULATE_WRITE) != 0 && errno != EINVAL) {
        // No memory for every page now: refused, rather than faulting them in later.
        munmap(block, bytes);
        return nullptr;
    }
    // A kernel without the populate request (before Linux 5.14) faults each page in here.
    WriteEachPage(block, bytes);
    return block;
}

void FreePages(void* block, size_t bytes) {
    if (block != nullptr) munmap(block, bytes);
}

}  // namespace vextrel::platform
