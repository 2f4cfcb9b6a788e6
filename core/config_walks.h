// Queries and changes that walk the published configurations of the current manager.
#pragma once

#include <cstdint>

#include "core/facility.h"
#include "core/manager.h"

namespace vextrel {

// Whether the global summary passes the facility word's query priority; false with no manager or
// a facility id of 20480 or more. Inline: the host asks this before building costly messages, so it
// is a handful of loads and compares without a call.
inline bool FacilityOn(uint32_t facilityWord) {
    const uint32_t id = FacilityIdOfWord(facilityWord);
    return id < kFacilityIdLimit && MayWant(id, QueryPriorityOfWord(facilityWord));
}

// Whether a manager is published and has at least one configuration.
bool AnyConfigActive();

// Sets the priority of `facilityId` in the first tracer (console, file, client, configurations in
// order) that traces it at all, rebuilds the global table and returns the old priority in the top
// byte; 0 when nothing traced it, the id is out of range or the priority byte is 0.
uint32_t ChangeFacilityPriority(uint32_t facilityId, uint32_t priorityWord);

// Sets the name that every published configuration stamps on its records.
void SetConfigNames(const char* name);

// The path of the file the current manager's first configuration writes to now; "" when there is
// none. The text is the library's copy, kept until the path changes (see VextrelGetTracePath).
const char* CurrentTracePath();

// Frees the copy CurrentTracePath keeps, at unload.
void ReleaseHostPathCopy();

// Walks the file writers of the published configurations; there are no statistics to report.
void DumpWriteStats();

}  // namespace vextrel
