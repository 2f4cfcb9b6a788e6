// Starting a configuration: its record queue and writer thread, its trace file and its header.
#pragma once

#include "output/session_header.h"

namespace vextrel {

class TraceConfig;

// The facts of this process now: host facts, process id, UTC time and counter, configuration files
// read so far and the machine id.
HeaderFacts CurrentHeaderFacts();

// Starts a configuration's output once: creates its record queue and writer thread when a tracer
// is enabled, opens its trace file when the file tracer is enabled, writes the file header (unless
// quiet) and the console header (console enabled, not quiet), then marks it started and clears its
// refresh flag. Does nothing for a started configuration.
void StartConfig(TraceConfig& config);

}  // namespace vextrel
