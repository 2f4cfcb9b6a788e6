#include "lifecycle/config_start.h"

#include <cstdio>
#include <memory>

#include "config/config_loader.h"
#include "core/record_queue.h"
#include "core/trace_config.h"
#include "core/trace_entry.h"
#include "diag/machine_id.h"
#include "host/host_info.h"
#include "host/process_name.h"
#include "output/file_writer.h"
#include "output/line_format.h"
#include "output/queue_writer.h"
#include "output/trace_file.h"
#include "output/user_name_scrub.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/thread.h"

namespace vextrel {
namespace {

std::vector<FacilityPriority> FileTracerFacilities(const TraceConfig& config) {
    std::vector<FacilityPriority> facilities;
    for (uint32_t id : config.file.ConfiguredFacilities()) facilities.emplace_back(id, config.file.Table().Get(id));
    return facilities;
}

// Writes each line through a tracer from its own 1024-byte buffer.
template <typename Tracer>
void WriteLines(Tracer& tracer, const std::vector<std::string>& lines) {
    for (const std::string& text : lines) {
        char buffer[kLineCapacity];
        const int length = std::snprintf(buffer, sizeof buffer, "%s", text.c_str());
        tracer.Write(buffer, length < static_cast<int>(sizeof buffer) ? length : static_cast<int>(sizeof buffer) - 1);
    }
}

// Writes the lines into the trace file as WriteLines would, in one write: a header lists every
// configuration file read, thousands in a long series.
void WriteFileLines(FileTracer& tracer, const std::vector<std::string>& lines) {
    size_t total = 0;
    for (const std::string& text : lines) total += text.size();
    std::string block;
    block.reserve(total);  // lines pass unchanged unless they hold the user name
    for (const std::string& text : lines) {
        char scrubbed[kScrubbedLineCapacity];
        const size_t length = text.size() < kLineCapacity ? text.size() : kLineCapacity - 1;
        block += tracer.PrepareLine(text.c_str(), static_cast<int32_t>(length), scrubbed, sizeof scrubbed);
    }
    if (!block.empty()) tracer.WriteBlock(block.data(), block.size());
}

}  // namespace

HeaderDetails CurrentHeaderDetails(bool withConfigFiles) {
    const HostInfo& host = Host();
    HeaderDetails facts;
    facts.executablePath = host.executablePath;
    facts.processId = platform::CurrentProcessId();
    facts.utc = platform::UtcTime();
    facts.startSeconds = static_cast<double>(ToMicroseconds(platform::ReadCounter())) / 1000000.0;
    facts.osName = host.osName;
    facts.processorSpeedGHz = host.processorSpeedGHz;
    facts.processorCount = host.processorCount;
    facts.physicalMemoryMiB = host.physicalMemoryMiB;
    if (withConfigFiles) facts.configFiles = LoadedConfigFiles();
    facts.machineId = MachineUUID();
    facts.build = LibraryBuild();
    return facts;
}

namespace {

// The header lines of a configuration, each cut to what one line buffer holds.
std::vector<std::string> HeaderLinesOf(const TraceConfig& config, bool toFile) {
    const HeaderDetails facts = CurrentHeaderDetails(toFile);
    const std::vector<FacilityPriority> facilities = FileTracerFacilities(config);
    std::vector<std::string> lines = toFile ? FileHeaderLines(facts, facilities, config.refresh)
                                            : ConsoleHeaderLines(facts, facilities, config.refresh);
    for (std::string& line : lines) {
        if (line.size() >= kLineCapacity) line.resize(kLineCapacity - 1);
    }
    return lines;
}

// The file header (an open file, not quiet) and the console header (console enabled, not quiet).
void WriteHeaders(TraceConfig& config) {
    if (config.quiet.load()) return;
    if (config.file.HasWriter()) {
        WriteFileLines(config.file, HeaderLinesOf(config, true));
        config.file.Flush();
    }
    if (config.console.State() == kTracerActive) WriteLines(config.console, HeaderLinesOf(config, false));
}

void ProcessNameOfHost(char (&processName)[kProcessNameCapacity]) {
    ProcessNameOf(Host().executableFileName, processName);
}

// A writer thread blocked in a write to a pipe, a terminal or a device stays in the system for as
// long as the reader pleases, past any stop wait: the library then stays loaded, so that an unload
// never pulls the code from under it (see platform::KeepLibraryLoaded).
void KeepLoadedForBlockingTarget(const TraceFileSink* writer) {
    if (writer != nullptr && writer->GetPath()[0] != '\0' && !platform::IsRegularFile(writer->GetPath())) {
        platform::KeepLibraryLoaded();
    }
}

// The same for the console lines of a configuration whose console tracer is on: they go to standard
// output, which a stalled pipe or terminal can hold.
void KeepLoadedForBlockingConsole(const TraceConfig& config) {
    if (config.console.State() == kTracerActive && !platform::StandardOutputIsRegularFile()) {
        platform::KeepLibraryLoaded();
    }
}

}  // namespace

void StartConfig(TraceConfig& config) {
    if (config.started) return;
    char processName[kProcessNameCapacity];
    ProcessNameOfHost(processName);
    const bool anyEnabled = config.console.State() == kTracerActive || config.file.State() == kTracerActive ||
                            config.client.State() == kTracerActive;
    if (anyEnabled && config.Queue() == nullptr) {
        // A refused thread or event throws out of here; the unique owner frees what was made.
        auto queue = std::make_unique<RecordQueue>();
        if (StartQueueWriter(*queue, config.queueSize, config)) config.SetQueue(queue.release());
    }
    if (config.file.State() == kTracerActive && OpenTraceFile(config.file, config.traceFolder, processName)) {
        KeepLoadedForBlockingTarget(config.file.Writer().get());
    }
    KeepLoadedForBlockingConsole(config);
    WriteHeaders(config);
    config.started = true;
    config.refresh = false;
}

void SwitchConfigFile(TraceConfig& config) {
    auto next = std::make_unique<FileSwitch>();
    if (config.file.State() == kTracerActive) {
        char processName[kProcessNameCapacity];
        ProcessNameOfHost(processName);
        next->writer = OpenNewTraceFile(config.file, config.traceFolder, processName, platform::LocalTime());
        KeepLoadedForBlockingTarget(next->writer.get());
        if (next->writer != nullptr && !config.quiet.load()) next->header = HeaderLinesOf(config, true);
    }
    RecordQueue* queue = config.Queue();
    if (queue != nullptr) {
        next->firstIndex = queue->NextReservedPosition();
        config.file.ScheduleSwitch(std::move(next));
        queue->WakeWriter();  // a writer asleep on a drained ring changes over now
    } else {
        config.file.SetWriter(std::move(next->writer));
        WriteFileLines(config.file, next->header);
        config.file.Flush();
    }
    KeepLoadedForBlockingConsole(config);
    if (config.console.State() == kTracerActive && !config.quiet.load()) {
        WriteLines(config.console, HeaderLinesOf(config, false));
    }
    config.started = true;
    config.refresh = false;
}

void WriteHeaderAgain(TraceConfig& config) {
    KeepLoadedForBlockingConsole(config);  // a trace client's text merged in may have turned the console on
    WriteHeaders(config);
}

}  // namespace vextrel
