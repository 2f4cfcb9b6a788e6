// The exported trace entry points and their small services.
#include <cstdarg>

#include "core/manager.h"
#include "core/trace_config.h"
#include "core/trace_entry.h"
#include "include/vextrel.h"
#include "platform/clock.h"

using namespace vextrel;

extern "C" {

VEXTREL_API void VextrelFormat(uint32_t facilityWord, const char* format, ...) {
    va_list args;
    va_start(args, format);
    TraceEntry(nullptr, facilityWord, format, args, false);
    va_end(args);
}

VEXTREL_API void VextrelFormatQuiet(uint32_t facilityWord, const char* format, ...) {
    va_list args;
    va_start(args, format);
    TraceEntry(nullptr, facilityWord, format, args, true);
    va_end(args);
}

VEXTREL_API void VextrelFormatTimestamp(uint64_t* startStamp, uint32_t facilityWord, const char* format, ...) {
    va_list args;
    va_start(args, format);
    TraceEntry(startStamp, facilityWord, format, args, false);
    va_end(args);
}

VEXTREL_API void VextrelLegacyFormat(uint32_t facilityWord, const char* format, va_list args) {
    TraceEntry(nullptr, facilityWord, format, args, false);
}

VEXTREL_API void VextrelPuts(uint32_t facilityWord, const char* text) { PutsEntry(nullptr, facilityWord, text, false); }

VEXTREL_API uint64_t VextrelGetTimestamp(void) { return ToMicroseconds(platform::ReadCounter()); }

VEXTREL_API void VextrelSetClockCallbackFunc(ClockCallback callback) { SetClockCallback(callback); }

VEXTREL_API void VextrelSetNameFunc(const char* name) {
    CVextrelManager* manager = CurrentManager();
    if (manager == nullptr) return;
    const ConfigSnapshot configs = manager->Snapshot();
    for (uint32_t i = 0; i < configs.count; ++i) configs.items[i]->name.Set(name);
}

}  // extern "C"
