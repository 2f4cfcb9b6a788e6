// The Vextrel calls the benchmarks time.
#pragma once

#include <cstdint>

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

}  // namespace vextrel::bench
