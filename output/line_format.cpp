#include "output/line_format.h"

#include <cstdio>

#include "core/record_queue.h"
#include "core/trace_entry.h"

namespace vextrel {
int FormatRecordLine(const TraceRecord& record, bool configQuiet, const TimeBase& timeBase,
                     char (&line)[kLineCapacity]) {
    int length;
    if (configQuiet || record.quiet) {
        length = std::snprintf(line, kLineCapacity, "%s\n", record.text);
    } else {
        uint64_t time = record.timestamp;
        uint64_t elapsed = record.startTimestamp != 0 ? time - record.startTimestamp : 0;
        if (!timeBase.clockCallbackInstalled) {
            time = TicksToMicroseconds(time, timeBase.counterFrequency);
            if (elapsed != 0) elapsed = TicksToMicroseconds(elapsed, timeBase.counterFrequency);
        }
        const unsigned long long seconds = time / 1000000u;
        const long long micro = static_cast<long long>(time % 1000000u);
        const unsigned long thread = record.threadId;
        const unsigned long facility = record.facilityId;
        const bool named = record.name[0] != '\0';
        if (record.startTimestamp != 0) {
            const unsigned long long us = elapsed;
            length = named ? std::snprintf(line, kLineCapacity, "%llu.%06lld,%05lx,%04lx,nm=%s: %s (%llu us)\n",
                                           seconds, micro, thread, facility, record.name, record.text, us)
                           : std::snprintf(line, kLineCapacity, "%llu.%06lld,%05lx,%04lx: %s (%llu us)\n", seconds,
                                           micro, thread, facility, record.text, us);
        } else {
            const long long wholeSeconds = static_cast<long long>(seconds);
            length = named ? std::snprintf(line, kLineCapacity, "%lld.%06lld,%05lx,%04lx,nm=%s: %s\n", wholeSeconds,
                                           micro, thread, facility, record.name, record.text)
                           : std::snprintf(line, kLineCapacity, "%lld.%06lld,%05lx,%04lx: %s\n", wholeSeconds, micro,
                                           thread, facility, record.text);
        }
    }
    if (length < 0) length = 0;
    if (length >= static_cast<int>(kLineCapacity)) length = static_cast<int>(kLineCapacity) - 1;
    return length;
}

}  // namespace vextrel
