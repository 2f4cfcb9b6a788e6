// Trace clients and per-facility-word message handlers that host components register while the
// library runs.
#pragma once

#include <cstdint>

#include "include/vextrel.h"

namespace vextrel {

// Parses `configText` into a configuration that feeds `client`: merged into the running one with
// the same trace folder, or else started and published as a configuration of its own; the running
// configurations write their headers again. A text that leaves no tracer active stores nothing. A
// null client is ignored.
void AddTraceClient(TraceClient* client, const char* configText, int32_t length);

// Hands `client` every record traced before the call (the stop wait at most), then detaches it
// from every configuration: it is not called again once this returns. Writes the headers again.
void RemoveTraceClient(TraceClient* client);

// Hands the messages of `facilityWord` to `handler` in every configuration.
void RegisterHandler(uint32_t facilityWord, TraceHandlerFunc handler);

}  // namespace vextrel
