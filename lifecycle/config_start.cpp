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
#include "output/line_format.h"
#include "output/queue_writer.h"

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

}  // namespace

HeaderFacts CurrentHeaderFacts() {
    const HostInfo& host = Host();
    HeaderFacts facts;
    facts.executablePath = host.executablePath;
    facts.processId = platform::CurrentProcessId();
    facts.utc = platform::UtcTime();
    facts.startSeconds = static_cast<double>(ToMicroseconds(platform::ReadCounter())) / 1000000.0;
    facts.osName = host.osName;
    facts.processorSpeedGHz = host.processorSpeedGHz;
    facts.processorCount = host.processorCount;
    facts.physicalMemoryMiB = host.physicalMemoryMiB;
    facts.configFiles = LoadedConfigFiles();
    facts.machineId = MachineUUID();
    facts.build = LibraryBuild();
    return facts;
}

void StartConfig(TraceConfig& config) {
    if (config.started) return;
    char processName[kProcessNameCapacity];
    ProcessNameOf(Host().executableFileName, processName);
    const HeaderFacts facts = CurrentHeaderFacts();

    const bool anyEnabled = config.console.State() == kTracerActive || config.file.State() == kTracerActive ||
                            config.client.State() == kTracerActive;
    if (anyEnabled && config.Queue() == nullptr) {
        // A refused thread or event throws out of here; the unique owner frees what was made.
        auto queue = std::make_unique<RecordQueue>();
        if (StartQueueWriter(*queue, config.queueSize, config)) config.SetQueue(queue.release());
    }
    if (config.file.State() == kTracerActive) config.file.OpenTraceFile(config.traceFolder, processName);

    const bool quiet = config.quiet.load();
    const std::vector<FacilityPriority> facilities = FileTracerFacilities(config);
    if (config.file.HasWriter() && !quiet) {
        WriteLines(config.file, FileHeaderLines(facts, facilities, config.refresh));
        config.file.Flush();
    }
    if (config.console.State() == kTracerActive && !quiet) {
        WriteLines(config.console, ConsoleHeaderLines(facts, facilities, config.refresh));
    }
    config.started = true;
    config.refresh = false;
}

}  // namespace vextrel
