// Feeds arbitrary bytes to the configuration text reader, as a host's client registration would,
// and checks what it recorded: every option value lies inside the draft's value text, every
// facility step names a facility, a priority level and one tracer, and the last VXF_ALL step of each
// tracer is where the draft says.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "config/config_parser.h"
#include "core/facility.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vextrel;
    const int32_t length = size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
    const ConfigDraft draft =
        ReadConfigText(reinterpret_cast<const char*>(data), length, ConfigContext{"fuzz-default-folder"});
    uint32_t lastAll[3] = {};
    for (uint32_t index = 0; index < draft.steps.size(); ++index) {
        const ConfigDraft::Step& step = draft.steps[index];
        if (step.keyword != OptionKeyword::kNone) {
            if (step.valueOffset >= draft.values.size() ||
                std::strlen(draft.values.c_str() + step.valueOffset) >= draft.values.size() - step.valueOffset) {
                std::abort();
            }
            continue;
        }
        const bool oneTracer =
            step.mask == kMaskFileTracer || step.mask == kMaskConsoleTracer || step.mask == kMaskClientTracer;
        if (FacilityNameOf(step.id) == nullptr || PriorityNameOf(step.priority) == nullptr || !oneTracer) std::abort();
        if (step.id == kFacilityAll)
            lastAll[step.mask == kMaskFileTracer ? 0 : step.mask == kMaskConsoleTracer ? 1 : 2] = index + 1;
    }
    for (uint32_t i = 0; i < 3; ++i) {
        if (lastAll[i] != draft.lastAllStep[i]) std::abort();
    }
    return 0;
}
