// Feeds arbitrary bytes to the configuration text reader, as a host's client registration would,
// and checks what it recorded: every option value lies inside the draft's value text, every
// facility step names a facility, a priority level and a tracer, and VXF_ALL stays within its cap.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "config/config_parser.h"
#include "core/facility.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vextrel;
    const int32_t length = size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
    const ConfigDraft draft = ReadConfigText(reinterpret_cast<const char*>(data), length, ConfigContext{"fuzz-default-folder"});
    uint32_t allTokens = 0;
    for (const ConfigDraft::Step& step : draft.steps) {
        if (step.keyword != OptionKeyword::kNone) {
            if (step.valueOffset >= draft.values.size() ||
                std::strlen(draft.values.c_str() + step.valueOffset) >= draft.values.size() - step.valueOffset) {
                std::abort();
            }
            continue;
        }
        allTokens += step.id == kFacilityAll ? 1 : 0;
        if (FacilityNameOf(step.id) == nullptr || PriorityNameOf(step.priority) == nullptr || step.mask > 7) std::abort();
    }
    if (allTokens > kMaxAllFacilityTokens) std::abort();
    return 0;
}
