// Trace clients and per-facility-word message handlers that host components register while the
// library runs.
#pragma once

#include <cstdint>

#include "include/vextrel.h"

namespace vextrel {

// Parses `configText` into a configuration of its own that feeds `client` and restarts the
// configurations; a text that leaves no tracer active stores nothing. A null client is ignored.
void AddTraceClient(TraceClient* client, const char* configText, int32_t length);

// Detaches `client` from every configuration and restarts them.
void RemoveTraceClient(TraceClient* client);

// Hands the messages of `facilityWord` to `handler` in every configuration.
void RegisterHandler(uint32_t facilityWord, TraceHandlerFunc handler);

}  // namespace vextrel
