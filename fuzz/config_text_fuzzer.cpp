// Feeds arbitrary bytes to the configuration text reader, as a host's client registration would; the
// configuration it builds, if any, is destroyed afterwards.
#include <cstddef>
#include <cstdint>

#include "config/config_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vextrel;
    const int32_t length = size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
    ParseConfigText(reinterpret_cast<const char*>(data), length, ConfigContext{"fuzz-default-folder"});
    return 0;
}
