#include "bench/vextrel_session.h"

#include <chrono>
#include <thread>

#include "core/manager.h"
#include "core/record_queue.h"
#include "host/host_info.h"
#include "output/queue_writer.h"
#include "output/trace_file.h"
#include "platform/clock.h"

namespace vextrel::bench {

void EnsureCounterFrequency() {
    if (!Host().probed) Host().counterFrequency = static_cast<double>(platform::CounterFrequency());
}

VextrelSession::VextrelSession(const std::string& folder, const char* baseName, uint32_t queueSize, bool startWriter) {
    EnsureCounterFrequency();
    manager_ = CVextrelManager::Create();
    config_ = TraceConfig::Create();
    config_->file.SetFacilityPriority(kTracedFacility, VXP_LOWEST);
    OpenTraceFile(config_->file, folder.c_str(), baseName);
    queue_ = new RecordQueue;
    if (startWriter) {
        StartQueueWriter(*queue_, queueSize, *config_);
    } else {
        queue_->AllocateRecords(queueSize);
    }
    config_->SetQueue(queue_);
    AddConfig(manager_, config_);
    manager_->PublishConfigs();
    RebuildGlobalPriorityMap(manager_, false);
    ExchangeManager(manager_);
}

VextrelSession::~VextrelSession() {
    ExchangeManager(nullptr);
    delete manager_;
}

void VextrelSession::Publish() { ExchangeManager(manager_); }

void VextrelSession::StartWriterThread() { AttachWriterThread(*queue_, *config_); }

uint64_t VextrelSession::RecordsWritten() const { return queue_->WrittenOutPosition(); }

uint64_t VextrelSession::WaitUntilDrained(double timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    // Done when the records written out reach the count of reservations.
    while (queue_->WrittenOutPosition() != queue_->NextReservedPosition() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return RecordsWritten();
}

bool VextrelSession::HasTraceFile() const { return config_->file.HasWriter(); }

}  // namespace vextrel::bench
