#include "output/trace_file.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "core/manager.h"
#include "core/reclaim.h"
#include "core/trace_config.h"
#include "core/tracer.h"
#include "host/log_retention.h"
#include "output/file_writer.h"
#include "platform/debugger.h"
#include "platform/files.h"

namespace vextrel {
namespace {

constexpr const char* kCounterRetentionMessage = "DeleteMinCounterLogFiles() function not implemented yet!\n";

void EnsurePathExists(const std::string& path) {
    if (path.empty() || platform::PathExists(path.c_str())) return;
    platform::CreateFolder(path.c_str());
}

}  // namespace

void TraceFilePathFor(const char* folder, const char* baseName, bool append, uint32_t counterValue,
                      const platform::CalendarTime& now, char (&path)[kTraceFilePathCapacity]) {
    if (folder == nullptr) folder = "";
    if (baseName == nullptr) baseName = "";
    const char* const extension = "txt";
    // snprintf cuts an over-long path at the buffer, terminator included.
    if (append) {
        std::snprintf(path, sizeof path, "%s/%s.%s", folder, baseName, extension);
    } else if (counterValue == 0) {
        std::snprintf(path, sizeof path, "%s/%s_%04d_%02d_%02d_%02d_%02d_%02d.%s", folder, baseName, now.year,
                      now.month, now.day, now.hour, now.minute, now.second, extension);
    } else {
        std::snprintf(path, sizeof path, "%s/%s_%010u.%s", folder, baseName, counterValue, extension);
    }
}

bool ClaimUnusedTracePath(char (&path)[kTraceFilePathCapacity], uint32_t maxSuffix) {
    char stem[kTraceFilePathCapacity];
    std::snprintf(stem, sizeof stem, "%s", path);
    char* const extension = std::strrchr(stem, '.');
    if (extension != nullptr) *extension = '\0';
    char candidate[kTraceFilePathCapacity];
    std::snprintf(candidate, sizeof candidate, "%s", path);
    for (uint32_t suffix = 1; suffix <= maxSuffix + 1; ++suffix) {
        const platform::CreateFileResult result = platform::CreateNewFile(candidate);
        if (result == platform::CreateFileResult::kCreated) {
            std::memcpy(path, candidate, sizeof path);
            return true;
        }
        if (result == platform::CreateFileResult::kFailed) return false;
        // A long stem is cut so that the number and the extension always fit.
        std::snprintf(candidate, sizeof candidate, "%.*s_%u.txt", static_cast<int>(sizeof candidate) - 16, stem,
                      suffix);
    }
    return false;
}

void EnsureFolder(const char* folder) {
    if (folder == nullptr) return;
    const std::string path(folder);
    for (size_t separator = path.find(platform::kPathSeparator); separator != std::string::npos;
         separator = path.find(platform::kPathSeparator, separator + 1)) {
        EnsurePathExists(path.substr(0, separator));
    }
    if (!path.empty() && path.back() != platform::kPathSeparator) EnsurePathExists(path);
}

std::shared_ptr<FileWriter> OpenNewTraceFile(const FileTracer& tracer, const char* folder, const char* baseName,
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
        std::fprintf(stderr, "Vextrel: no trace file written: %s and its numbered names are taken or cannot be created\n",
                     path);
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

bool OpenTraceFileAt(FileTracer& tracer, const char* folder, const char* baseName,
                     const platform::CalendarTime& now, uint32_t maxSuffix) {
    if (tracer.HasWriter()) return true;
    tracer.SetWriter(OpenNewTraceFile(tracer, folder, baseName, now, maxSuffix));
    return tracer.HasWriter();
}

bool OpenTraceFile(FileTracer& tracer, const char* folder, const char* baseName) {
    return OpenTraceFileAt(tracer, folder, baseName, platform::LocalTime());
}

namespace {

// The last path handed to the host. Replaced (and the old copy retired) only when the path changed,
// which takes a restart, reload or a change of files, so a copy stays valid as long as the host was
// told it would.
std::atomic<const std::string*> g_hostPathCopy{nullptr};

const char* KeepHostPathCopy(std::string path) {
    auto copy = std::make_unique<std::string>(std::move(path));
    const ReadGuard guard;  // the copy compared with is not freed meanwhile
    const std::string* kept = g_hostPathCopy.load(std::memory_order_seq_cst);
    for (;;) {
        if (kept != nullptr && *kept == *copy) return kept->c_str();
        if (g_hostPathCopy.compare_exchange_strong(kept, copy.get(), std::memory_order_seq_cst)) break;
    }
    Retire(const_cast<std::string*>(kept));
    return copy.release()->c_str();
}

}  // namespace

const char* CurrentTracePath() {
    std::string path;
    {
        // The path is copied while the guard keeps the configuration and its file alive.
        const ReadGuard guard;
        CVextrelManager* manager = CurrentManager();
        if (manager == nullptr) return "";
        const ConfigSnapshot configs = manager->Snapshot();
        if (configs.count == 0 || configs.items[0] == nullptr) return "";
        path = configs.items[0]->file.GetPath();
    }
    return path.empty() ? "" : KeepHostPathCopy(std::move(path));
}

void ReleaseHostPathCopy() { delete g_hostPathCopy.exchange(nullptr, std::memory_order_seq_cst); }

void DumpWriteStats() {
    const ReadGuard guard;
    CVextrelManager* manager = CurrentManager();
    if (manager == nullptr) return;
    const ConfigSnapshot configs = manager->Snapshot();
    for (uint32_t i = 0; i < configs.count; ++i) {
        // The statistics hook has nothing to report; the walk keeps each file's writer alive for it.
        std::shared_ptr<TraceFileSink> writer = configs.items[i]->file.Writer();
        (void)writer;
    }
}

}  // namespace vextrel
