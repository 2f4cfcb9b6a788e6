// The trace entry points.
#include <cstdarg>

#include "api/guarded.h"
#include "core/config_walks.h"
#include "core/trace_entry.h"
#include "include/vextrel.h"
#include "lifecycle/control_lock.h"
#include "platform/clock.h"

using namespace vextrel;

extern "C" {

VEXTREL_API void VextrelFormat(uint32_t facilityWord, const char* format, ...) {
    if (FilteredOutAtOnce(facilityWord)) return;
    va_list args;
    va_start(args, format);
    Guarded([&] { TraceEntry(nullptr, facilityWord, format, args, false); });
    va_end(args);
}

VEXTREL_API void VextrelFormatQuiet(uint32_t facilityWord, const char* format, ...) {
    if (FilteredOutAtOnce(facilityWord)) return;
    va_list args;
    va_start(args, format);
    Guarded([&] { TraceEntry(nullptr, facilityWord, format, args, true); });
    va_end(args);
}

VEXTREL_API void VextrelFormatTimestamp(uint64_t* startStamp, uint32_t facilityWord, const char* format, ...) {
    if (startStamp == nullptr && FilteredOutAtOnce(facilityWord)) return;
    va_list args;
    va_start(args, format);
    Guarded([&] { TraceEntry(startStamp, facilityWord, format, args, false); });
    va_end(args);
}

VEXTREL_API void VextrelLegacyFormat(uint32_t facilityWord, const char* format, va_list args) {
    if (FilteredOutAtOnce(facilityWord)) return;
    Guarded([&] { TraceEntry(nullptr, facilityWord, format, args, false); });
}

VEXTREL_API void VextrelPuts(uint32_t facilityWord, const char* text) {
    if (FilteredOutAtOnce(facilityWord)) return;
    Guarded([&] { PutsEntry(nullptr, facilityWord, text, false); });
}

VEXTREL_API uint64_t VextrelGetTimestamp(void) {
    return Guarded(uint64_t{0}, [] { return ToMicroseconds(platform::ReadCounter()); });
}

VEXTREL_API void VextrelSetClockCallbackFunc(ClockCallback callback) {
    Guarded([&] { SetClockCallback(callback); });
}

VEXTREL_API void VextrelSetNameFunc(const char* name) {
    Guarded([&] { UnderControlLock(ControlKind::Setting, [&] { SetConfigNames(name); }); });
}

}  // extern "C"
