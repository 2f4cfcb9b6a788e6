// Keeping one configuration per trace folder, and carrying running configurations over into a
// freshly read manager on restart and reload.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "config/config_loader.h"
#include "core/manager.h"

namespace vextrel {

// Adds a configuration read from a file to a manager that is not running yet: it merges at once into
// the earliest one with a byte-for-byte equal trace folder (as ConsolidateConfigs would), so files
// sharing a folder cost one configuration. A configuration that would be the manager's
// (kMaxConfigurations + 1)th is destroyed and its file listed as ignored. Returns the configuration
// it became part of, or null when it was ignored (or null).
TraceConfig* AddReadConfig(CVextrelManager* manager, std::unique_ptr<TraceConfig> config);

// The configurations into which the files of one series without option lines merged their options,
// each with the tracers such a file turned on. Merging the same options again changes nothing (a
// merge keeps the lower limit and entries, joins the flags, and takes a tracer state only over "not
// configured" or as "disabled"), so a later file of the kind is only lowered into its configuration.
struct OptionlessMerges {
    std::vector<std::pair<const TraceConfig*, uint32_t>> done;
};

// Adds what one configuration file says (its draft, read from `path`) to a manager that is not
// running yet, with the result of AddReadConfig(BuildConfig(draft)): a file whose trace folder has a
// configuration is merged straight into it, without tables of its own. Returns the configuration it
// became part of, or null when it enables no tracer or was ignored. `merges`, when given, is kept
// across the files of a series (see OptionlessMerges).
TraceConfig* AddReadDraft(CVextrelManager* manager, const ConfigDraft& draft, const char* path,
                          const ConfigContext& context, OptionlessMerges* merges = nullptr);

// Reads a configuration path and its continuations (LoadConfigDraftsEach) into a manager that is
// not running yet, each file through AddReadDraft, in reading order.
void LoadConfigFilesInto(CVextrelManager* manager, const char* basePath, const ConfigContext& context);

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
// The running manager's list is left as it is: until the new manager is published, trace calls
// reach the adopted configurations through it, and a priority change rebuilds the summary from it.
void AdoptRunningConfigs(CVextrelManager* fresh, CVextrelManager* running);

// Takes the configurations the published `next` adopted out of the withdrawn `previous`'s list, so
// that retiring `previous` leaves them running.
void LeaveAdoptedConfigs(CVextrelManager* previous, const CVextrelManager* next);

}  // namespace vextrel
