// The crash record. The crash line and the stack go straight to each trace file's handle, never
// through the file tracer and its stream: the crashed thread may hold the stream's or the tracer's
// lock. The writers are drained first: each ring waits until its writer has written out the lines
// of every record reserved before the crash (a writer writes out whenever it runs out of committed
// records), so nothing of them is left in the writer's buffer and the raw write lands after them.
#include "lifecycle/crash_record.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "core/manager.h"
#include "core/record_queue.h"
#include "core/trace_config.h"
#include "diag/frame_line.h"
#include "output/trace_file_handles.h"
#include "platform/clock.h"
#include "platform/stream.h"

namespace vextrel {
namespace {

// The crash path's working memory, in static storage: nothing on it allocates, and the alternate
// signal stack stays small.
struct CrashScratch {
    intptr_t handles[kTraceFileHandleCapacity];
    char line[kFrameLineCapacity];
    platform::SymbolDetails symbol;
};
CrashScratch g_scratch;
std::atomic<bool> g_crashRecorded{false};

uint64_t MillisecondsInTicks(uint32_t milliseconds) { return platform::CounterFrequency() * milliseconds / 1000u; }

void DrainRings(uint32_t crashingThread) {
    const CVextrelManager* manager = CurrentManager();
    if (manager == nullptr) return;
    const uint64_t deadline = platform::ReadCounter() + MillisecondsInTicks(kCrashDrainMilliseconds);
    const ConfigSnapshot configs = manager->Snapshot();
    for (uint32_t i = 0; i < configs.count; ++i) {
        RecordQueue* queue = configs.items[i] != nullptr ? configs.items[i]->Queue() : nullptr;
        if (queue == nullptr || queue->Stopping()) continue;
        // A writer thread that crashed drains nothing more.
        const uint32_t writerThread = queue->ConsumerThreadId();
        if (writerThread == 0 || writerThread == crashingThread) continue;
        queue->DrainUntil(deadline);
    }
}

void WriteToEveryFile(uint32_t fileCount, const char* text) {
    const size_t length = std::strlen(text);
    for (uint32_t i = 0; i < fileCount; ++i) platform::WriteToNativeHandle(g_scratch.handles[i], text, length);
}

void OnCrash(const platform::CrashDetails& facts) { WriteCrashRecord(facts); }

}  // namespace

void UpdateCrashRecord(const CVextrelManager* manager) {
    bool wanted = false;
    if (manager != nullptr) {
        for (const TraceConfig* config : manager->configs) {
            if (config == nullptr) continue;
            if (!config->crashRecord) {
                wanted = false;
                break;
            }
            wanted = true;
        }
    }
    if (wanted) {
        platform::InstallCrashHandler(OnCrash);
    } else {
        platform::RemoveCrashHandler();
    }
}

void RemoveCrashRecord() { platform::RemoveCrashHandler(); }

void FormatCrashLine(const platform::CrashDetails& facts, char* line, size_t size) {
    if (line == nullptr || size == 0) return;
    char code[48];
    if (facts.isSignal) {
        std::snprintf(code, sizeof code, "%s (signal %u)", facts.codeName, facts.code);
    } else {
        std::snprintf(code, sizeof code, "%s (exception 0x%08X)", facts.codeName, facts.code);
    }
    std::snprintf(line, size, "\n!!!***!!! Crash: %s at address %016llX, instruction %016llX, thread %05x\n", code,
                  static_cast<unsigned long long>(facts.faultAddress),
                  static_cast<unsigned long long>(facts.instructionAddress), facts.threadId);
}

bool CrashRecorded() { return g_crashRecorded.load(std::memory_order_acquire); }

void WriteCrashRecord(const platform::CrashDetails& facts) {
    g_crashRecorded.store(true, std::memory_order_release);
    DrainRings(facts.threadId);
    const uint32_t fileCount = TraceFileHandles(g_scratch.handles, kTraceFileHandleCapacity);
    if (fileCount == 0) return;
    FormatCrashLine(facts, g_scratch.line, sizeof g_scratch.line);
    WriteToEveryFile(fileCount, g_scratch.line);
    WriteToEveryFile(fileCount, "Stacktrace:\n");
    for (uint32_t index = 0; index < facts.frameCount && index < platform::kMaxCapturedFrames; ++index) {
        if (facts.frames[index] == nullptr) break;
        // Entry 0 is the crashing instruction itself; the others are return addresses.
        FormatFrameLineWithoutWaiting(facts.frames[index], index != 0, g_scratch.symbol, g_scratch.line,
                                      sizeof g_scratch.line - 1);
        const size_t length = std::strlen(g_scratch.line);
        g_scratch.line[length] = '\n';
        g_scratch.line[length + 1] = '\0';
        WriteToEveryFile(fileCount, g_scratch.line);
    }
}

}  // namespace vextrel
