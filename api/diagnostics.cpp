// Diagnostic services: stack traces, memory dumps, error texts and the machine identifier.
#include "api/guarded.h"
#include "core/diagnostic_traces.h"
#include "core/stack_symbol_switch.h"
#include "diag/frame_line.h"
#include "diag/machine_id.h"
#include "diag/os_error.h"
#include "include/vextrel.h"
#include "platform/stack.h"

using namespace vextrel;

extern "C" {

VEXTREL_API void VextrelStack(uint32_t facilityWord) {
    // Captured in this body, not in a helper, so that entry 1 is the return address into the
    // host's call and the trace starts at the caller.
    void* frames[kStackFrameCapacity] = {};
    platform::CaptureStackFrames(frames, kStackFrameCapacity);
    Guarded([&] { TraceStackFrames(facilityWord, frames, kStackFrameCapacity); });
}

VEXTREL_API void VextrelEnableStackTraceSymbols(uint8_t enable) {
    Guarded([&] { SetStackTraceSymbolSwitch(enable); });
}

VEXTREL_API uint8_t VextrelEnabledStackTraceSymbols(void) {
    return Guarded(uint8_t{0}, [] { return StackTraceSymbolSwitch(); });
}

VEXTREL_API void VextrelMem(uint32_t facilityWord, const char* label, const void* data, uint32_t length) {
    Guarded([&] { TraceMemoryDump(facilityWord, label, data, length); });
}

VEXTREL_API const char* VextrelOSErrToString(int32_t code) {
    return Guarded<const char*>(kUnknownOSErrorText, [&] { return OSErrorText(code); });
}

VEXTREL_API const char* VextrelGetMachineUUID(void) {
    return Guarded<const char*>("", [] { return MachineUUID().c_str(); });
}

}  // extern "C"
