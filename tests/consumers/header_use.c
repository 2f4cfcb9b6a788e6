/* Compiled as C89, C99, C11 and C17, and (as C++) C++11 to C++23: the public headers build clean with
 * every warning on, including the format check of a correct call through the macros. */
#include "vextrel_facilities.h"
#include "vextrel_version.h"

#define ROW(name, id) + (name == (id) ? 1 : 0)
static const int kRowsMatch = 0 VEXTREL_FOR_EACH_BUILTIN_FACILITY(ROW);
static const int kLevels = 0 VEXTREL_FOR_EACH_PRIORITY(ROW);

int header_use(VextrelFormatFn format, uint64_t* stamp) {
    format(VXF_WORD(VXF_ENGINE_RENDER, VXP_HIGH), "%d facilities in %s", kRowsMatch, VEXTREL_VERSION_STRING);
    VextrelFormatTimestamp(stamp, VXF_WORD(VXF_DIAGNOSTICS, VXP_LOW), "%d levels", kLevels);
    return VextrelFacilityOnFunc(VXF_WORD(VXF_ALL, VXP_URGENT)) ? 1 : 0;
}
