// The Vextrel calls the benchmarks time.
#pragma once

#include <cstdint>
#include <string>

#include "bench/latency_harness.h"

namespace vextrel::bench {

// VextrelFormat of the benchmark message on the traced facility (accepted by the file tracer).
void AcceptedCall(uint32_t sequence);

// VextrelFormat of message `sequence` of the message mix on the traced facility.
void AcceptedMixCall(uint32_t sequence);

// VextrelFormat of the benchmark message on a facility no tracer configured.
void FilteredOutCall(uint32_t sequence);

// EmptyFormat (floor_case.h) with the arguments FilteredOutCall passes.
void EmptyFormatCall(uint32_t sequence);

// VextrelFacilityOnFunc of the traced facility; the answer is kept where the compiler must see it.
void FacilityOnCall(uint32_t sequence);

// AcceptedCall, paced, through the first pass over each of `rings` new rings of the default size
// (one call per slot, into `firstPass`) and through the pass after it (into `secondPass`). A slot's
// first write is where a page that the system did not make ready in advance costs the call.
void MeasureRingPasses(const std::string& folder, uint32_t rings, LatencySamples& firstPass,
                       LatencySamples& secondPass);

}  // namespace vextrel::bench
