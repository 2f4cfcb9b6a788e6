// Opening a trace file for a FileTracer: the folder, retention of old files, a free name, then the
// file itself.
#pragma once

#include <cstdint>
#include <memory>

#include "output/trace_file_claim.h"
#include "platform/clock.h"

namespace vextrel {

class FileTracer;
class TraceFileSink;

// A new trace file for the tracer's settings (append flag, counter value, log file limit), opened
// but not handed to the tracer: creates the folder, prunes old files (append flag clear and a log
// file limit above 0), then creates and opens the file. Null when it cannot be opened, and when a
// date-stamped name's numbered names up to `maxSuffix` are all taken (with a line on standard error).
std::shared_ptr<TraceFileSink> OpenNewTraceFile(const FileTracer& tracer, const char* folder, const char* baseName,
                                                const platform::CalendarTime& now,
                                                uint32_t maxSuffix = kMaxTraceFileSuffix);

// Opens the trace file in `folder` for the base name and hands it to the tracer, as
// OpenTraceFileAt does at the local time. True when the tracer has a file afterwards.
bool OpenTraceFile(FileTracer& tracer, const char* folder, const char* baseName);

// OpenTraceFile with the local time given: keeps an open file; otherwise creates the
// folder, prunes old files (append flag clear and a log file limit above 0), then creates and
// opens the file (OpenNewTraceFile). True when the tracer has a file afterwards.
bool OpenTraceFileAt(FileTracer& tracer, const char* folder, const char* baseName, const platform::CalendarTime& now,
                     uint32_t maxSuffix = kMaxTraceFileSuffix);

}  // namespace vextrel
