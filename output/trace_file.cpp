#include "output/trace_file.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "core/tracer.h"
#include "host/log_retention.h"
#include "output/file_writer.h"
#include "output/trace_file_claim.h"
#include "output/trace_file_name.h"
#include "output/trace_folder.h"
#include "platform/debugger.h"
#include "platform/files.h"

namespace vextrel {
namespace {

constexpr const char* kCounterRetentionMessage = "DeleteMinCounterLogFiles() function not implemented yet!\n";

}  // namespace

std::shared_ptr<TraceFileSink> OpenNewTraceFile(const FileTracer& tracer, const char* folder, const char* baseName,
                                                const platform::CalendarTime& now, uint32_t maxSuffix) {
    if (folder == nullptr) folder = "";
    EnsureFolder(folder);
    char path[kTraceFilePathCapacity];
    TraceFilePathFor(folder, baseName, tracer.append, tracer.counterValue, now, path);
    const bool dateStamped = !tracer.append && tracer.counterValue == 0;

    // Old files go before the new one exists, so the new file is the limit's last.
    if (!tracer.append && tracer.logFileLimit > 0) {
        if (dateStamped) {
            ApplyLogFileLimit(tracer.logFileLimit, folder);
        } else {
            platform::WriteDebuggerOutput(kCounterRetentionMessage);
        }
    }

    // A date-stamped name taken by an earlier session of the same second gets a number instead;
    // when every number is taken too, this session writes no file rather than truncate one.
    if (dateStamped && !ClaimUnusedTracePath(path, maxSuffix)) {
        std::fprintf(
            stderr, "Vextrel: no trace file written: %s and its numbered names are taken or cannot be created\n", path);
        std::fflush(stderr);
        return nullptr;
    }

    // The file is opened before the tracer shares it, so a running writer thread never sees a
    // FileWriter without its stream.
    std::shared_ptr<FileWriter> writer;
    try {
        writer = std::make_shared<FileWriter>(path, tracer.append);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return writer->Open() ? writer : nullptr;
}

bool OpenTraceFileAt(FileTracer& tracer, const char* folder, const char* baseName, const platform::CalendarTime& now,
                     uint32_t maxSuffix) {
    if (tracer.HasWriter()) return true;
    tracer.SetWriter(OpenNewTraceFile(tracer, folder, baseName, now, maxSuffix));
    return tracer.HasWriter();
}

bool OpenTraceFile(FileTracer& tracer, const char* folder, const char* baseName) {
    return OpenTraceFileAt(tracer, folder, baseName, platform::LocalTime());
}

}  // namespace vextrel
