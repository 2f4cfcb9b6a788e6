// The text line the writer makes of one trace record.
#pragma once

#include <cstdint>

namespace vextrel {

struct TraceRecord;

constexpr uint32_t kLineCapacity = 1024;

// How record timestamps are to be read.
struct TimeBase {
    bool clockCallbackInstalled = false;  // timestamps are microseconds as they stand
    double counterFrequency = 1.0;        // otherwise counter ticks per second
};

// Formats a record into `line` and returns the line's length (without the terminator). Quiet
// records (or a quiet configuration) give the bare text and a newline; otherwise
// "seconds.micro,thread,facility[,nm=name]: text[ (elapsed us)]\n".
int FormatRecordLine(const TraceRecord& record, bool configQuiet, const TimeBase& timeBase,
                     char (&line)[kLineCapacity]);

}  // namespace vextrel
