// Starting a configuration: its record queue and writer thread, its trace file and its header.
#pragma once

#include "output/session_header.h"

namespace vextrel {

class TraceConfig;

// The facts of this process now: host facts, process id, UTC time and counter, configuration files
// read so far (unless `withConfigFiles` is false: the console header does not list them, and a long
// series lists thousands) and the machine id.
HeaderDetails CurrentHeaderDetails(bool withConfigFiles = true);

// Starts the output of a configuration that never ran: creates its record queue and writer thread
// when a tracer is enabled, opens its trace file when the file tracer is enabled, writes the file
// header (unless quiet) and the console header (console enabled, not quiet), then marks it started
// and clears its refresh flag. Does nothing for a started configuration. A trace file that is not a
// regular file, or an active console tracer while standard output is none, keeps the library loaded
// for the rest of the process (a writer may block there past any stop wait).
void StartConfig(TraceConfig& config);

// Moves a running configuration that a restart or reload carries over to a new trace file without
// a gap: its ring and writer stay; the new file is opened now, and the writer changes over once it
// has written every record reserved before this call into the old file and ended that file with
// its closing line; the new file then begins with the header (the refresh title when the refresh
// flag is set). Without an enabled file tracer the old file just ends. Writes the console header,
// marks the configuration started and clears its refresh flag.
void SwitchConfigFile(TraceConfig& config);

// Writes the file and console headers of a running configuration again into its current outputs
// (after a trace client was added or removed); keeps the library loaded as StartConfig does for a
// console tracer that is now active.
void WriteHeaderAgain(TraceConfig& config);

}  // namespace vextrel
