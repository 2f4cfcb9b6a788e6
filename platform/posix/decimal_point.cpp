#include "platform/decimal_point.h"

#include <langinfo.h>

namespace vextrel::platform {

bool DecimalPointIsDot() {
    const char* point = nl_langinfo(RADIXCHAR);
    return point != nullptr && point[0] == '.' && point[1] == '\0';
}

}  // namespace vextrel::platform
