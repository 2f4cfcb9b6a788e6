#include "platform/decimal_point.h"

#include <clocale>

namespace vextrel::platform {

bool DecimalPointIsDot() {
    const std::lconv* conventions = std::localeconv();
    const char* point = conventions != nullptr ? conventions->decimal_point : nullptr;
    return point != nullptr && point[0] == '.' && point[1] == '\0';
}

}  // namespace vextrel::platform
