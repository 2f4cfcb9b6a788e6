#include "diag/stack_trace.h"

#include "core/facility.h"
#include "core/manager.h"
#include "core/trace_entry.h"
#include "diag/frame_line.h"
#include "diag/stack_symbol_switch.h"
#include "include/vextrel.h"
#include "platform/stack.h"

namespace vextrel {

void QueueStackLine(uint32_t facilityWord, uint64_t timestamp, const char* line) {
    CVextrelManager* manager = CurrentManager();
    if (manager == nullptr) return;
    const uint32_t facilityId = FacilityIdOfWord(facilityWord);
    if (facilityId >= kFacilityIdLimit) return;
    const uint32_t priority = TracePriorityOfWord(facilityWord);
    const ConfigSnapshot configs = manager->Snapshot();
    for (uint32_t index = 0; index < configs.count; ++index) {
        TraceConfig* config = configs.items[index];
        if (config == nullptr) continue;
        const Acceptance acceptance = AcceptanceOf(*config, facilityWord, facilityId, priority, nullptr);
        if (acceptance.Any()) QueueText(*config, acceptance, facilityId, timestamp, 0, line, /*quiet=*/true);
    }
}

}  // namespace vextrel

extern "C" void VextrelStack(uint32_t facilityWord) {
    vextrel::PutsEntry(nullptr, facilityWord, "Stacktrace:", /*quiet=*/true);
    // Entry 0 lies in the capture itself; entry 1 is the return address into this function.
    void* frames[vextrel::kStackFrameCapacity] = {};
    vextrel::platform::CaptureStackFrames(frames, vextrel::kStackFrameCapacity);
    const bool symbols = vextrel::StackTraceSymbolSwitch() != 0;
    vextrel::ForEachFrameLine(frames, vextrel::kStackFrameCapacity, symbols, [facilityWord](const char* line) {
        vextrel::QueueStackLine(facilityWord, vextrel::TakeTimestamp(), line);
    });
}
