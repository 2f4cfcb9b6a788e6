// The library's lifecycle: load and unload, and rebuilding the manager while the host runs.
//
// Load, restart and reload run one pipeline: probe the host, read the configuration files into a
// new manager, consolidate it, compare it with the running one (reload only), carry over the
// running configurations read from the same files, start the new ones and move the carried ones
// to new trace files without a gap, publish the new manager in one exchange (the running one stays
// published until then, so every trace call reaches the old or the new configurations), stop and
// retire what the old manager still holds, and update the crash record.
#pragma once

#include <cstdint>

namespace vextrel {

class CVextrelManager;

// The load entry (DllMain process attach, or the ELF constructor): the first attach initialises the
// library. Never throws.
void OnProcessAttach();

// The unload entry (DllMain process detach, or the ELF destructor): the detach that matches the
// first attach stops the library. While the process keeps running, everything the load made is
// freed (the host has stopped calling); at process exit the manager is withdrawn and every writer
// drains and ends, but nothing a trace call still in flight can reach is freed. Never throws.
void OnProcessDetach(bool processExiting = false);

// The load: reads, starts and publishes the first manager. Never throws.
void InitializeLibrary();

// Builds a new manager from the configuration files and swaps it in; every configuration starts
// afresh with a new trace file and a full header (carried-over ones keep ring and writer). The
// running manager stays when memory runs out. Never throws.
void RestartLibrary();

// Swaps in a new manager only when the configuration files now differ from the running ones (as
// RestartLibrary, carried-over configurations continuing in a new file with the refresh title);
// true when it did. Never throws.
bool ReloadConfigs();

// Starts each configuration of a manager about to be published that never ran, and moves each one
// carried over from the running manager to its new trace file (SwitchConfigFile). A thread or event
// the system refuses leaves that configuration without output; the others start all the same.
void StartConfigs(CVextrelManager* manager);

// Withdraws the current manager, stops every writer (each drains its ring and ends its trace file
// with the closing line) and frees what the readers have left.
void StopLibrary();

// Withdraws the current manager and stops every writer (drain, closing line) but frees nothing, for
// the process's exit while other threads may still be inside a trace call.
void StopLibraryAtExit();

}  // namespace vextrel
