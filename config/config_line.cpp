// The interpreter of one configuration line: comments, the option keywords and facility lines.
#include <cstring>

#include "config/config_parser.h"
#include "config/text_scan.h"
#include "core/facility.h"
#include "core/record_queue.h"
#include "platform/bounded_text.h"

namespace vextrel {
namespace {

// "true" in any letter case; any other value leaves a disabling keyword without effect.
void DisableWhenTrue(BaseTracer& tracer, const char* value) {
    if (EqualsIgnoringCase(value, "true")) tracer.SetState(kTracerDisabled);
}

uint32_t QueueSizeNamed(const char* value) {
    if (EqualsIgnoringCase(value, "large")) return kLargeQueueSize;
    if (EqualsIgnoringCase(value, "medium")) return kMediumQueueSize;
    return kDefaultQueueSize;
}

// Applies an option keyword; false when the key is none of them.
bool ApplyOption(const char* key, const char* value, TraceConfig* config, const ConfigContext& context) {
    if (EqualsIgnoringCase(key, "filetracingdir")) {
        const bool useDefault = EqualsIgnoringCase(value, "USE_RELATIVE_PATH");
        CopyTruncated(config->traceFolder, sizeof config->traceFolder, useDefault ? context.defaultTraceFolder : value);
    } else if (EqualsIgnoringCase(key, "bequiet")) {
        config->quiet.store(!EqualsIgnoringCase(value, "false"));
    } else if (EqualsIgnoringCase(key, "tracequeuesize")) {
        config->queueSize = QueueSizeNamed(value);
    } else if (EqualsIgnoringCase(key, "append")) {
        config->file.append = !EqualsIgnoringCase(value, "false");
    } else if (EqualsIgnoringCase(key, "crashrecord")) {
        config->crashRecord = !EqualsIgnoringCase(value, "0") && !EqualsIgnoringCase(value, "false");
    } else if (EqualsIgnoringCase(key, "name")) {
        config->name.Set(value);
    } else if (EqualsIgnoringCase(key, "logfilelimit")) {
        config->file.logFileLimit = DecimalPrefixValue(value);
    } else if (EqualsIgnoringCase(key, "disablefiletracing")) {
        DisableWhenTrue(config->file, value);
    } else if (EqualsIgnoringCase(key, "disableconsoletracing")) {
        DisableWhenTrue(config->console, value);
    } else if (EqualsIgnoringCase(key, "disableremotetracing")) {
        DisableWhenTrue(config->client, value);
    } else if (EqualsIgnoringCase(key, "counterfile")) {
        config->file.counterValue = CounterFileValue(value);
    } else {
        return false;
    }
    return true;
}

// The value of a whole priority name in any letter case, or 0 when it names none.
uint32_t PriorityNamed(const char* name) {
    for (uint32_t priority = VXP_LOWEST; priority <= VXP_URGENT; priority <<= 1) {
        if (EqualsIgnoringCase(name, PriorityNameOf(priority))) return priority;
    }
    return 0;
}

// The tracers a facility token selects, by its first character alone.
uint32_t TracerMaskOf(char first) {
    switch (first) {
        case 'C': case 'c': return kMaskConsoleTracer;
        case 'F': case 'f': return kMaskFileTracer;
        case 'S': case 't': return kMaskClientTracer;
        default: return 0;
    }
}

// Applies every "<tracer>@<priority>" token of a facility line's value.
void ApplyFacilityTokens(uint32_t id, char* value, TraceConfig* config) {
    char* cursor = value;
    for (char* token = NextToken(&cursor, ",;"); token != nullptr; token = NextToken(&cursor, ",;")) {
        const char* at = std::strchr(token, '@');
        if (at == nullptr) continue;
        const uint32_t priority = PriorityNamed(at + 1);
        if (priority == 0) continue;
        ApplyFacilityPriority(id, priority, TracerMaskOf(token[0]), config);
    }
}

}  // namespace

uint32_t CounterFileValue(const char* /*counterFileName*/) { return 0; }

void InterpretConfigLine(char* line, TraceConfig* config, const ConfigContext& context) {
    if (line == nullptr || config == nullptr || line[0] == '#') return;
    char* cursor = line;
    const char* key = NextToken(&cursor, "=");
    char* value = NextToken(&cursor, "=");
    if (key == nullptr || value == nullptr) return;
    TrimTrailingBlanks(value);
    if (ApplyOption(key, value, config, context)) return;
    const uint32_t id = FacilityIdOf(key);
    if (id == 0) return;
    ApplyFacilityTokens(id, value, config);
}

void ApplyFacilityPriority(uint32_t id, uint32_t priority, uint32_t mask, TraceConfig* config) {
    if (config == nullptr || FacilityNameOf(id) == nullptr || PriorityNameOf(priority) == nullptr) return;
    if (id == kFacilityAll) {
        for (uint32_t each = 0; each < kFacilityAll; ++each) ApplyFacilityPriority(each, priority, mask, config);
        return;
    }
    // A name registered for an id beyond the tables can never be configured.
    if (id >= kFacilityIdLimit) return;
    if (mask & kMaskConsoleTracer) config->console.SetFacilityPriority(id, priority);
    if (mask & kMaskFileTracer) config->file.SetFacilityPriority(id, priority);
    if (mask & kMaskClientTracer) config->client.SetFacilityPriority(id, priority);
}

}  // namespace vextrel
