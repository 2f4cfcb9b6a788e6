#include "../environment.h"

#include <cstdlib>

namespace vextrel::testing {

void SetEnvironmentValue(const char* name, const char* value) {
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

}  // namespace vextrel::testing
