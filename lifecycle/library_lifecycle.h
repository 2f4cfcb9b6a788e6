// The library's lifecycle: load and unload, and rebuilding the manager while the host runs.
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

// Probes the host, then fills `manager` from the configuration files; with no manager given, creates
// one and publishes it at once. With `start`, consolidates, starts every configuration and rebuilds
// the global table.
void InitializeLibrary(CVextrelManager* manager, bool start);

// A new manager holding one configuration per configuration file, neither consolidated nor started;
// null when memory is exhausted.
CVextrelManager* CreateManager();

// Consolidates the manager, starts every configuration that is not started (every one when
// `force`), publishes the list to trace calls and rebuilds the global table.
void StartConfigs(CVextrelManager* manager, bool force);

// StartConfigs for the exports: a thread or event that the system refuses leaves the configuration
// it was for without output, but the list is published and the table rebuilt all the same, so the
// host keeps a working library and the failure never reaches it.
void StartConfigsGuarded(CVextrelManager* manager, bool force);

// Withdraws the current manager and destroys it: every writer drains its ring and ends its trace
// file with the closing line.
void StopLibrary();

// Withdraws the current manager and stops every writer (drain, closing line) but frees nothing, for
// the process's exit while other threads may still be inside a trace call.
void StopLibraryAtExit();

// Builds a new manager from the configuration files, swaps it in and starts every configuration
// afresh (trace files reopened); the running manager stays when memory runs out. Never throws.
void RestartLibrary();

// Swaps in a new manager only when the configuration files now differ from the running ones;
// true when it did. Never throws.
bool ReloadConfigs();

// How long a withdrawn manager stays alive for trace calls that read its pointer just before.
constexpr uint32_t kSwapGraceMilliseconds = 100;

}  // namespace vextrel
