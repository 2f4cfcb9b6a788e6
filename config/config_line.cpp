// The interpreter of one configuration line: comments, the option keywords and facility lines.
#include <algorithm>
#include <cstring>
#include <memory>

#include "config/config_parser.h"
#include "config/text_scan.h"
#include "core/facility.h"
#include "core/priority_table.h"
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

// A filetracingdir line's value as the trace folder.
void SetTraceFolder(char (&folder)[kConfigPathCapacity], const char* value, const ConfigContext& context) {
    const bool useDefault = EqualsIgnoringCase(value, "USE_RELATIVE_PATH");
    CopyTruncated(folder, sizeof folder, useDefault ? context.defaultTraceFolder : value);
}

// Applies an option keyword's value.
void ApplyOption(OptionKeyword keyword, const char* value, TraceConfig* config, const ConfigContext& context) {
    switch (keyword) {
        case OptionKeyword::kFileTracingDir: SetTraceFolder(config->traceFolder, value, context); return;
        case OptionKeyword::kBeQuiet: config->quiet.store(!EqualsIgnoringCase(value, "false")); return;
        case OptionKeyword::kTraceQueueSize: config->queueSize = QueueSizeNamed(value); return;
        case OptionKeyword::kAppend: config->file.append = !EqualsIgnoringCase(value, "false"); return;
        case OptionKeyword::kCrashRecord:
            config->crashRecord = !EqualsIgnoringCase(value, "0") && !EqualsIgnoringCase(value, "false");
            return;
        case OptionKeyword::kName: config->name.Set(value); return;
        case OptionKeyword::kLogFileLimit: config->file.logFileLimit = DecimalPrefixValue(value); return;
        case OptionKeyword::kDisableFileTracing: DisableWhenTrue(config->file, value); return;
        case OptionKeyword::kDisableConsoleTracing: DisableWhenTrue(config->console, value); return;
        case OptionKeyword::kDisableRemoteTracing: DisableWhenTrue(config->client, value); return;
        case OptionKeyword::kCounterFile: config->file.counterValue = CounterFileValue(value); return;
        case OptionKeyword::kNone: return;
    }
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
        case 'C':
        case 'c': return kMaskConsoleTracer;
        case 'F':
        case 'f': return kMaskFileTracer;
        case 'S':
        case 't': return kMaskClientTracer;
        default: return 0;
    }
}

// Tells the listener about a token that selects a tracer other than the one its word names.
void DiagnoseTracerWord(ConfigDiagnostics* diagnostics, const char* line, const char* token, const char* at) {
    if (diagnostics == nullptr) return;
    const uint32_t mask = TracerMaskOf(token[0]);
    if (mask == 0) {
        ReportFinding(diagnostics, ConfigFinding::kNoTracerSelected, line, token);
    } else if (mask == kMaskConsoleTracer && at - token == 6) {
        char word[7] = {};
        std::memcpy(word, token, 6);
        if (EqualsIgnoringCase(word, "client"))
            ReportFinding(diagnostics, ConfigFinding::kClientSpelledConsole, line, token);
    }
}

// Sets the entry of a registered id in each tracer that `mask` selects (console, then file, then
// client).
void SetTracerPriorities(uint32_t id, uint32_t priority, uint32_t mask, TraceConfig* config) {
    // A name registered for an id beyond the tables can never be configured.
    if (id >= kFacilityIdLimit) return;
    if (mask & kMaskConsoleTracer) config->console.SetFacilityPriority(id, priority);
    if (mask & kMaskFileTracer) config->file.SetFacilityPriority(id, priority);
    if (mask & kMaskClientTracer) config->client.SetFacilityPriority(id, priority);
}

// The index of a single tracer mask bit in ConfigDraft::lastAllStep.
uint32_t MaskIndex(uint32_t mask) { return mask == kMaskFileTracer ? 0 : mask == kMaskConsoleTracer ? 1 : 2; }

// Records every "<tracer>@<priority>" token of a facility line's value that selects a tracer.
void ReadFacilityTokens(uint32_t id, char* value, ConfigDraft* draft, const char* line,
                        ConfigDiagnostics* diagnostics) {
    char* cursor = value;
    for (char* token = NextToken(&cursor, ",;"); token != nullptr; token = NextToken(&cursor, ",;")) {
        const char* at = std::strchr(token, '@');
        if (at == nullptr) {
            ReportFinding(diagnostics, ConfigFinding::kTokenWithoutAt, line, token);
            continue;
        }
        const uint32_t priority = PriorityNamed(at + 1);
        if (priority == 0) {
            ReportFinding(diagnostics, ConfigFinding::kUnknownPriority, line, at + 1);
            continue;
        }
        DiagnoseTracerWord(diagnostics, line, token, at);
        const uint32_t mask = TracerMaskOf(token[0]);
        if (mask == 0) continue;  // selects no tracer: does nothing
        draft->steps.push_back({OptionKeyword::kNone, id, priority, mask, 0});
        if (id == kFacilityAll) draft->lastAllStep[MaskIndex(mask)] = static_cast<uint32_t>(draft->steps.size());
    }
}

// Tells the listener why a line without both a key and a value does nothing; blank lines are fine.
void DiagnoseIncompleteLine(ConfigDiagnostics* diagnostics, const char* line, const char* key, const char* cursor) {
    if (diagnostics == nullptr || key == nullptr || line[std::strspn(line, " \t")] == '\0') return;
    if (key != line) {
        ReportFinding(diagnostics, ConfigFinding::kNoKey, line, key);
    } else {
        // The key's terminator replaced an "=" when the cursor moved past it.
        const bool hadSeparator = cursor > key + std::strlen(key);
        ReportFinding(diagnostics, hadSeparator ? ConfigFinding::kNoValue : ConfigFinding::kNoSeparator, line, key);
    }
}

}  // namespace

uint32_t CounterFileValue(const char* /*counterFileName*/) { return 0; }

OptionKeyword OptionKeywordOf(const char* key) {
    uint8_t index = 0;
    for (const char* keyword : kOptionKeywords) {
        if (EqualsIgnoringCase(key, keyword)) return static_cast<OptionKeyword>(index);
        ++index;
    }
    return OptionKeyword::kNone;
}

void InterpretConfigLine(char* line, ConfigDraft* draft, const ConfigContext& context) {
    if (line == nullptr || draft == nullptr || line[0] == '#') return;
    char* cursor = line;
    const char* key = NextToken(&cursor, "=");
    char* value = NextToken(&cursor, "=");
    ConfigDiagnostics* const diagnostics = context.diagnostics;
    if (key == nullptr || value == nullptr) {
        DiagnoseIncompleteLine(diagnostics, line, key, cursor);
        return;
    }
    if (diagnostics != nullptr && cursor[std::strspn(cursor, "=")] != '\0') {
        ReportFinding(diagnostics, ConfigFinding::kExtraSeparator, line, cursor + std::strspn(cursor, "="));
    }
    TrimTrailingBlanks(value);
    const OptionKeyword keyword = OptionKeywordOf(key);
    if (keyword != OptionKeyword::kNone) {
        draft->steps.push_back({keyword, 0, 0, 0, static_cast<uint32_t>(draft->values.size())});
        draft->values.append(value, std::strlen(value) + 1);
        if (diagnostics != nullptr) DiagnoseOptionValue(*diagnostics, line, keyword, value);
        return;
    }
    const uint32_t id = FacilityIdOf(key);
    if (id == 0) {
        ReportFinding(diagnostics, ConfigFinding::kUnknownKey, line, key);
        return;
    }
    ReadFacilityTokens(id, value, draft, line, diagnostics);
}

void ApplyDraft(const ConfigDraft& draft, TraceConfig* config, const ConfigContext& context) {
    for (uint32_t index = 0; index < draft.steps.size(); ++index) {
        const ConfigDraft::Step& step = draft.steps[index];
        if (step.keyword == OptionKeyword::kNone) {
            // A later VXF_ALL step of the same tracer sets this entry again, and every other one.
            if (index + 1 < draft.lastAllStep[MaskIndex(step.mask)]) continue;
            ApplyFacilityPriority(step.id, step.priority, step.mask, config);
        } else {
            ApplyOption(step.keyword, draft.values.c_str() + step.valueOffset, config, context);
        }
    }
}

void ApplyFacilityPriority(uint32_t id, uint32_t priority, uint32_t mask, TraceConfig* config) {
    if (config == nullptr || FacilityNameOf(id) == nullptr || PriorityNameOf(priority) == nullptr) return;
    if (id == kFacilityAll) {
        // Every registered id below VXF_ALL, in one pass per tracer.
        const std::shared_ptr<const LevelPages> ids = AllFacilityPages();
        if (mask & kMaskConsoleTracer) config->console.SetFacilityPriorities(*ids, priority);
        if (mask & kMaskFileTracer) config->file.SetFacilityPriorities(*ids, priority);
        if (mask & kMaskClientTracer) config->client.SetFacilityPriorities(*ids, priority);
        return;
    }
    SetTracerPriorities(id, priority, mask, config);
}

namespace {

BaseTracer& TracerOfMask(TraceConfig& config, uint32_t mask) {
    return mask == kMaskFileTracer      ? static_cast<BaseTracer&>(config.file)
           : mask == kMaskConsoleTracer ? static_cast<BaseTracer&>(config.console)
                                        : static_cast<BaseTracer&>(config.client);
}

// The facility steps of one tracer that ApplyDraft applies after its last VXF_ALL step, as (id,
// priority) ascending by id, the last step of each id only; ids beyond the tables are left out.
std::vector<std::pair<uint32_t, uint32_t>> OverridesAfterAll(const ConfigDraft& draft, uint32_t mask) {
    std::vector<std::pair<uint32_t, uint32_t>> overrides;
    for (uint32_t index = draft.lastAllStep[MaskIndex(mask)]; index < draft.steps.size(); ++index) {
        const ConfigDraft::Step& step = draft.steps[index];
        if (step.keyword != OptionKeyword::kNone || step.mask != mask || step.id >= kFacilityIdLimit) continue;
        overrides.emplace_back(step.id, step.priority);
    }
    // Stable: of the steps of one id, the last stays last.
    std::stable_sort(overrides.begin(), overrides.end(),
                     [](const auto& left, const auto& right) { return left.first < right.first; });
    std::vector<std::pair<uint32_t, uint32_t>> last;
    for (size_t i = 0; i < overrides.size(); ++i) {
        if (i + 1 < overrides.size() && overrides[i + 1].first == overrides[i].first) continue;
        last.push_back(overrides[i]);
    }
    return last;
}

// The priority of a tracer's last VXF_ALL step, or 0.
uint32_t LastAllPriority(const ConfigDraft& draft, uint32_t mask) {
    const uint32_t step = draft.lastAllStep[MaskIndex(mask)];
    return step == 0 ? 0 : draft.steps[step - 1].priority;
}

// Whether the draft's facility lines set an entry of the tracer: its last VXF_ALL line when that
// names anything (`allNamesSomething`), or a facility step after it.
bool DraftSetsTracer(const ConfigDraft& draft, uint32_t mask, bool allNamesSomething) {
    if (LastAllPriority(draft, mask) != 0 && allNamesSomething) return true;
    for (uint32_t index = draft.lastAllStep[MaskIndex(mask)]; index < draft.steps.size(); ++index) {
        const ConfigDraft::Step& step = draft.steps[index];
        if (step.keyword == OptionKeyword::kNone && step.mask == mask && step.id < kFacilityIdLimit) return true;
    }
    return false;
}

// Whether an option line of the draft disables the tracer.
bool DraftDisablesTracer(const ConfigDraft& draft, uint32_t mask) {
    const OptionKeyword disabling = mask == kMaskFileTracer      ? OptionKeyword::kDisableFileTracing
                                    : mask == kMaskConsoleTracer ? OptionKeyword::kDisableConsoleTracing
                                                                 : OptionKeyword::kDisableRemoteTracing;
    for (const ConfigDraft::Step& step : draft.steps) {
        if (step.keyword == disabling && EqualsIgnoringCase(draft.values.c_str() + step.valueOffset, "true")) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::unique_ptr<TraceConfig> BuildDraftOptions(const ConfigDraft& draft, const ConfigContext& context) {
    std::unique_ptr<TraceConfig> config(TraceConfig::Create());
    if (config == nullptr) return nullptr;
    for (const ConfigDraft::Step& step : draft.steps) {
        if (step.keyword != OptionKeyword::kNone)
            ApplyOption(step.keyword, draft.values.c_str() + step.valueOffset, config.get(), context);
    }
    if (config->traceFolder[0] == '\0') {
        CopyTruncated(config->traceFolder, sizeof config->traceFolder, context.defaultTraceFolder);
    }
    const bool allNamesSomething = !AllFacilityPages()->Ids().empty();
    bool active = false;
    for (uint32_t mask : {kMaskFileTracer, kMaskConsoleTracer, kMaskClientTracer}) {
        BaseTracer& tracer = TracerOfMask(*config, mask);
        if (DraftSetsTracer(draft, mask, allNamesSomething) && tracer.State() != kTracerDisabled) {
            tracer.SetState(kTracerActive);
        }
        active = active || tracer.State() == kTracerActive;
    }
    if (!active) return nullptr;
    return config;
}

void DraftTraceFolder(const ConfigDraft& draft, const ConfigContext& context, char (&folder)[kConfigPathCapacity]) {
    folder[0] = '\0';
    for (const ConfigDraft::Step& step : draft.steps) {
        if (step.keyword == OptionKeyword::kFileTracingDir) {
            SetTraceFolder(folder, draft.values.c_str() + step.valueOffset, context);
        }
    }
    if (folder[0] == '\0') CopyTruncated(folder, sizeof folder, context.defaultTraceFolder);
}

uint32_t DraftActiveTracers(const ConfigDraft& draft) {
    const bool allNamesSomething = !AllFacilityPages()->Ids().empty();
    uint32_t active = 0;
    for (uint32_t mask : {kMaskFileTracer, kMaskConsoleTracer, kMaskClientTracer}) {
        if (DraftSetsTracer(draft, mask, allNamesSomething) && !DraftDisablesTracer(draft, mask)) active |= mask;
    }
    return active;
}

void LowerToDraft(const ConfigDraft& draft, TraceConfig* config) {
    const std::shared_ptr<const LevelPages> ids = AllFacilityPages();
    for (uint32_t mask : {kMaskFileTracer, kMaskConsoleTracer, kMaskClientTracer}) {
        const uint32_t all = LastAllPriority(draft, mask);
        const std::vector<std::pair<uint32_t, uint32_t>> overrides = OverridesAfterAll(draft, mask);
        if (all != 0 || !overrides.empty()) TracerOfMask(*config, mask).LowerToText(*ids, all, overrides);
    }
}

}  // namespace vextrel
