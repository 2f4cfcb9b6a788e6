#include "bench/vextrel_cases.h"

#include <atomic>
#include <memory>

#include "bench/bench_message.h"
#include "bench/floor_case.h"
#include "bench/format_cases.h"
#include "bench/latency_subject.h"
#include "bench/vextrel_session.h"
#include "include/vextrel.h"

namespace vextrel::bench {
namespace {

// One configuration with a trace file per load for each Vextrel subject: 0 the benchmark
// message, 1 the message mix. Each publishes its manager before its turns.
std::unique_ptr<VextrelSession> g_sessions[2];
uint64_t g_writtenBefore[2] = {};
// Where FacilityOnCall keeps its answer: a plain store (a thread-local costs a call on MinGW).
std::atomic<bool> g_facilityOn{false};

template <int kSubject>
void BeginVextrel(const std::string& folder) {
    g_sessions[kSubject] = std::make_unique<VextrelSession>(folder, kSubject == 0 ? "vextrel_latency" : "vextrel_mix");
    g_writtenBefore[kSubject] = g_sessions[kSubject]->RecordsWritten();
}

template <int kSubject>
void SettleVextrel() {
    g_sessions[kSubject]->WaitUntilDrained();
}

// Counts as lost every call whose record the writer did not write: refused reservations.
template <int kSubject>
int64_t EndVextrel(uint64_t calls) {
    const uint64_t written = g_sessions[kSubject]->WaitUntilDrained() - g_writtenBefore[kSubject];
    g_sessions[kSubject].reset();
    return static_cast<int64_t>(calls - written);
}

template <int kSubject>
void ActivateVextrel() {
    g_sessions[kSubject]->Publish();
}

void FloorSubjectCall(uint32_t sequence) { FloorCall(sequence); }

#define VEXTREL_BENCH_TRACED(...) VextrelFormat(VXF_WORD(kTracedFacility, VXP_NORMAL), __VA_ARGS__)

}  // namespace

void AcceptedCall(uint32_t sequence) {
    VextrelFormat(VXF_WORD(kTracedFacility, VXP_NORMAL), VEXTREL_BENCH_MESSAGE, MessageValue(sequence), kMessageName,
                  MessageElapsed(sequence));
}

void AcceptedMixCall(uint32_t sequence) { VEXTREL_BENCH_MIX(VEXTREL_BENCH_TRACED, sequence); }

void FilteredOutCall(uint32_t sequence) {
    VextrelFormat(VXF_WORD(kFilteredFacility, VXP_NORMAL), VEXTREL_BENCH_MESSAGE, MessageValue(sequence), kMessageName,
                  MessageElapsed(sequence));
}

void EmptyFormatCall(uint32_t sequence) {
    EmptyFormat(VXF_WORD(kFilteredFacility, VXP_NORMAL), VEXTREL_BENCH_MESSAGE, MessageValue(sequence), kMessageName,
                MessageElapsed(sequence));
}

void FacilityOnCall(uint32_t) {
    g_facilityOn.store(VextrelFacilityOnFunc(VXF_WORD(kTracedFacility, VXP_NORMAL)), std::memory_order_relaxed);
}

void MeasureRingPasses(const std::string& folder, uint32_t rings, LatencySamples& firstPass,
                       LatencySamples& secondPass) {
    const LatencyLoad paced{1, true, 0};
    for (uint32_t ring = 0; ring < rings; ++ring) {
        VextrelSession session(folder, "vextrel_ring_passes");
        MeasureLatency(AcceptedCall, paced, kDefaultQueueSize, 0, nullptr, firstPass);
        session.WaitUntilDrained();
        MeasureLatency(AcceptedCall, paced, kDefaultQueueSize, 0, nullptr, secondPass);
        session.WaitUntilDrained();
    }
}

LatencySubject FloorSubject() { return {"floor (counter + vsnprintf)", FloorSubjectCall, nullptr, nullptr, nullptr}; }

LatencySubject VextrelSubject() {
    return {"Vextrel VextrelFormat", AcceptedCall,  BeginVextrel<0>,
            SettleVextrel<0>,        EndVextrel<0>, ActivateVextrel<0>};
}

LatencySubject FloorMixSubject() { return {"floor, message mix", FloorMixCall, nullptr, nullptr, nullptr}; }

LatencySubject VextrelMixSubject() {
    return {"Vextrel VextrelFormat, message mix",
            AcceptedMixCall,
            BeginVextrel<1>,
            SettleVextrel<1>,
            EndVextrel<1>,
            ActivateVextrel<1>};
}

}  // namespace vextrel::bench
