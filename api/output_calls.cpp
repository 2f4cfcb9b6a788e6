// The trace output: write statistics and the trace file's path.
#include "api/guarded.h"
#include "core/config_walks.h"
#include "include/vextrel.h"

using namespace vextrel;

extern "C" {

VEXTREL_API void VextrelDumpWriteStatsFunc(void) {
    Guarded([] { DumpWriteStats(); });
}

VEXTREL_API const char* VextrelGetTracePath(void) {
    return Guarded<const char*>("", [] { return CurrentTracePath(); });
}

}  // extern "C"
