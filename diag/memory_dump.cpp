// VextrelMem: a hexadecimal dump of a block of memory, queued as plain trace text, 32 bytes a line.
#include "core/trace_entry.h"
#include "diag/memory_dump_line.h"
#include "include/vextrel.h"

extern "C" void VextrelMem(uint32_t facilityWord, const char* label, const void* data, uint32_t length) {
    vextrel::ForEachMemoryDumpLine(label, data, length, [facilityWord](const char* line) {
        vextrel::PutsEntry(nullptr, facilityWord, line, /*quiet=*/false);
    });
}
