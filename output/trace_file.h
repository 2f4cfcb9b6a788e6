// Trace files: their names, their folder and opening them for a FileTracer.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/clock.h"

namespace vextrel {

class FileTracer;
class FileWriter;

constexpr uint32_t kTraceFilePathCapacity = 260;
// The highest number a taken date-stamped name is retried with.
constexpr uint32_t kMaxTraceFileSuffix = 9999;

// Builds the path of a trace file into `path`, cut to 259 characters: "folder/base.txt" when
// appending; otherwise "folder/base_YYYY_MM_DD_hh_mm_ss.txt" from `now`, or
// "folder/base_NNNNNNNNNN.txt" when the counter value is non-zero. Null texts count as empty.
void TraceFilePathFor(const char* folder, const char* baseName, bool append, uint32_t counterValue,
                      const platform::CalendarTime& now, char (&path)[kTraceFilePathCapacity]);

// Makes `path` the name of a trace file that no other file had, created empty and exclusively, so
// that an earlier trace is never truncated and two processes racing for one name each get a file:
// the path itself when it is free, else "<stem>_1.txt", "<stem>_2.txt", ... (numbers up to
// `maxSuffix`). False, with `path` unchanged, when every name is taken or a file cannot be created
// there for another reason than the name being taken.
bool ClaimUnusedTracePath(char (&path)[kTraceFilePathCapacity], uint32_t maxSuffix = kMaxTraceFileSuffix);

// Creates the folder level by level: the part before each path separator (the platform's own,
// '\\' on Windows, '/' on Linux), left to right, then the whole folder unless it ends in a
// separator. Levels that exist, as folders or as files, are left alone; failures are ignored.
void EnsureFolder(const char* folder);

// A new trace file for the tracer's settings (append flag, counter value, log file limit), opened
// but not handed to the tracer: creates the folder, prunes old files (append flag clear and a log
// file limit above 0), then creates and opens the file. Null when it cannot be opened, and when a
// date-stamped name's numbered names up to `maxSuffix` are all taken (with a line on standard error).
std::shared_ptr<FileWriter> OpenNewTraceFile(const FileTracer& tracer, const char* folder, const char* baseName,
                                             const platform::CalendarTime& now,
                                             uint32_t maxSuffix = kMaxTraceFileSuffix);

// Opens the trace file in `folder` for the base name and hands it to the tracer, as
// OpenTraceFileAt does at the local time. True when the tracer has a file afterwards.
bool OpenTraceFile(FileTracer& tracer, const char* folder, const char* baseName);

// OpenTraceFile with the local time given: keeps an open file; otherwise creates the
// folder, prunes old files (append flag clear and a log file limit above 0), then creates and
// opens the file (OpenNewTraceFile). True when the tracer has a file afterwards.
bool OpenTraceFileAt(FileTracer& tracer, const char* folder, const char* baseName,
                     const platform::CalendarTime& now, uint32_t maxSuffix = kMaxTraceFileSuffix);

// The path of the file the current manager's first configuration writes to now; "" when there is
// none. The text is the library's copy, kept until the path changes (see VextrelGetTracePath).
const char* CurrentTracePath();

// Frees the copy CurrentTracePath keeps, at unload.
void ReleaseHostPathCopy();

// Walks the file writers of the published configurations; there are no statistics to report.
void DumpWriteStats();

}  // namespace vextrel
