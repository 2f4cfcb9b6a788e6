// Keeping one configuration per trace folder, and carrying running configurations over into a
// freshly read manager on restart and reload.
#pragma once

#include "core/manager.h"

namespace vextrel {

// Merges every configuration of a manager that no trace call can reach yet into the earliest one
// with a byte-for-byte equal trace folder, destroys the merged ones and removes empty slots.
void ConsolidateConfigs(CVextrelManager* manager);

// The configuration of the manager that one with this trace folder merges into: the earliest with a
// byte-for-byte equal folder, or null.
TraceConfig* ConfigWithFolder(CVextrelManager* manager, const char* traceFolder);

// Whether freshly read configurations differ from the running ones: in number, or for any new one
// in the running one with the same config path (missing, or different tracers or quiet flag). Trace
// folder, name, queue size, counter value and handlers are not compared.
bool ConfigsDiffer(CVextrelManager* fresh, CVextrelManager* running);

// Replaces each new configuration that has a running one with the same config path by that running
// one, which takes the new settings in place (the summary is lowered to them first; it keeps its
// ring, writer and trace file and is marked for a refresh start), and destroys the new one.
// Adopted configurations leave the running manager's own list; trace calls still find them in its
// published list until the new manager is published.
void AdoptRunningConfigs(CVextrelManager* fresh, CVextrelManager* running);

}  // namespace vextrel
