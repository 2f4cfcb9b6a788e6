#include "host/host_info.h"

#include <new>

namespace vextrel {

HostInfo& Host() {
    // Plain data in the library image: never destroyed while the process runs (writer threads and
    // the unload path may read it late), and returned to the system with the library.
    static HostInfo info;
    return info;
}

}  // namespace vextrel
