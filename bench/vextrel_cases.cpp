#include "bench/vextrel_cases.h"

#include <memory>

#include "bench/bench_message.h"
#include "bench/floor_case.h"
#include "bench/latency_subject.h"
#include "bench/vextrel_session.h"
#include "include/vextrel.h"

namespace vextrel::bench {
namespace {

std::unique_ptr<VextrelSession> g_session;
uint64_t g_writtenBefore = 0;
thread_local bool t_facilityOn = false;

void BeginVextrel(const std::string& folder) {
    g_session = std::make_unique<VextrelSession>(folder, "vextrel_latency");
    g_writtenBefore = g_session->RecordsWritten();
}

void SettleVextrel() { g_session->WaitUntilDrained(); }

// Counts as lost every call whose record the writer did not write: refused reservations.
int64_t EndVextrel(uint64_t calls) {
    const uint64_t written = g_session->WaitUntilDrained() - g_writtenBefore;
    g_session.reset();
    return static_cast<int64_t>(calls - written);
}

void FloorSubjectCall(uint32_t sequence) { FloorCall(sequence); }

}  // namespace

void AcceptedCall(uint32_t sequence) {
    VextrelFormat(VXF_WORD(kTracedFacility, VXP_NORMAL), VEXTREL_BENCH_MESSAGE, MessageValue(sequence), kMessageName,
                  MessageElapsed(sequence));
}

void FilteredOutCall(uint32_t sequence) {
    VextrelFormat(VXF_WORD(kFilteredFacility, VXP_NORMAL), VEXTREL_BENCH_MESSAGE, MessageValue(sequence),
                  kMessageName, MessageElapsed(sequence));
}

void FacilityOnCall(uint32_t) { t_facilityOn = VextrelFacilityOnFunc(VXF_WORD(kTracedFacility, VXP_NORMAL)); }

LatencySubject FloorSubject() { return {"floor (counter + vsnprintf)", FloorSubjectCall, nullptr, nullptr, nullptr}; }

LatencySubject VextrelSubject() { return {"Vextrel VextrelFormat", AcceptedCall, BeginVextrel, SettleVextrel, EndVextrel}; }

}  // namespace vextrel::bench
