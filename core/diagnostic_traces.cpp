#include "core/diagnostic_traces.h"

#include "core/stack_symbol_switch.h"
#include "core/trace_entry.h"
#include "diag/frame_line.h"
#include "diag/memory_dump_line.h"

namespace vextrel {

void TraceStackFrames(uint32_t facilityWord, void* const* frames, uint32_t count) {
    PutsEntry(nullptr, facilityWord, "Stacktrace:", /*quiet=*/true);
    const bool symbols = StackTraceSymbolSwitch() != 0;
    ForEachFrameLine(frames, count, symbols,
                     [facilityWord](const char* line) { PutsEntry(nullptr, facilityWord, line, /*quiet=*/true); });
}

void TraceMemoryDump(uint32_t facilityWord, const char* label, const void* data, uint32_t length) {
    ForEachMemoryDumpLine(label, data, length, [facilityWord](const char* line) {
        PutsEntry(nullptr, facilityWord, line, /*quiet=*/false);
    });
}

}  // namespace vextrel
