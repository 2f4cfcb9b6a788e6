// Feeds arbitrary bytes to the configuration text reader, as a host's client registration would,
// with a manager of its own per input that is destroyed afterwards with every configuration in it.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "config/config_parser.h"
#include "core/manager.h"
#include "host/host_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vextrel;
    if (Host().defaultTraceFolder[0] == '\0') {
        std::snprintf(Host().defaultTraceFolder, sizeof Host().defaultTraceFolder, "%s", "fuzz-default-folder");
    }
    CVextrelManager* manager = CVextrelManager::Create();
    if (manager == nullptr) return 0;
    const int32_t length = size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
    ParseConfigText(reinterpret_cast<const char*>(data), length, manager);
    delete manager;
    return 0;
}
