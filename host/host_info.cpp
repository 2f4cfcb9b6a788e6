#include "host/host_info.h"

#include <new>

namespace vextrel {

HostInfo& Host() {
    // Constructed on first use and never destroyed: writer threads and the unload path may read it
    // after the library's globals are gone.
    static HostInfo* info = new HostInfo;
    return *info;
}

}  // namespace vextrel
