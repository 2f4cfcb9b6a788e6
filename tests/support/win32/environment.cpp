#include "../environment.h"

#include <cstdlib>
#include <string>

namespace vextrel::testing {

void SetEnvironmentValue(const char* name, const char* value) {
    _putenv((std::string(name) + "=" + (value != nullptr ? value : "")).c_str());
}

}  // namespace vextrel::testing
