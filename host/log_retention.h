// Log file retention: keeps a trace folder from growing without bound by deleting the oldest trace
// files before a new one is created.
#pragma once

#include <cstdint>

namespace vextrel {

// The name of the second family of trace files that every host prunes besides its own.
constexpr const char* kVideoProcessName = "Stavenor_Video";

// Prunes the trace files named after the host process (the process name of the probed executable)
// and, separately, those named after kVideoProcessName in `folder`, so that the new file about to
// be created makes at most `limit` of each. Nothing happens for a limit of 0 or below.
void ApplyLogFileLimit(int32_t limit, const char* folder);

// Deletes the oldest entries of `folder` named `prefix` + "_" + anything while at least `limit`
// remain, oldest last-write time first. Of entries with equal last-write times only the first one
// listed is a candidate; the others are never deleted. Deletion failures are ignored. Nothing
// happens for a limit of 0 or below.
void PruneTraceFiles(int32_t limit, const char* folder, const char* prefix);

}  // namespace vextrel
