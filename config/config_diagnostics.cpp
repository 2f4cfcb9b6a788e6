// What the configuration reader tells a listener: the checks run only when one is present.
#include "config/config_diagnostics.h"

#include <cstring>

#include "config/config_parser.h"
#include "config/text_scan.h"
#include "core/trace_config.h"

namespace vextrel {
namespace {

bool IsDecimalNumberInRange(const char* text) {
    const char* digits = text;
    while (*digits == ' ' || *digits == '\t') ++digits;
    if (*digits == '-' || *digits == '+') ++digits;
    if (*digits < '0' || *digits > '9') return false;
    for (const char* c = digits; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return false;
    }
    // Values the conversion saturates, and negative limits other than -1 (no limit), keep nothing
    // sensible.
    const int32_t value = DecimalPrefixValue(text);
    return value >= -1 && value != INT32_MAX;
}

}  // namespace

void ReportFinding(ConfigDiagnostics* diagnostics, ConfigFinding finding, const char* lineStart, const char* piece) {
    if (diagnostics == nullptr) return;
    const uint32_t column =
        piece == nullptr ? 0 : diagnostics->columnOffset + static_cast<uint32_t>(piece - lineStart) + 1;
    diagnostics->Report({finding, diagnostics->path, diagnostics->line, column, piece == nullptr ? lineStart : piece});
}

void DiagnoseOptionValue(ConfigDiagnostics& diagnostics, const char* line, OptionKeyword keyword, const char* value) {
    const bool isTrue = EqualsIgnoringCase(value, "true");
    ConfigFinding finding = ConfigFinding::kTraceFolderLine;
    switch (keyword) {
        case OptionKeyword::kFileTracingDir: break;
        case OptionKeyword::kBeQuiet:
        case OptionKeyword::kAppend:
            if (isTrue || EqualsIgnoringCase(value, "false")) return;
            finding = ConfigFinding::kNotFalseTurnsOn;
            break;
        case OptionKeyword::kCrashRecord:  // only "0" or "false" turns the crash record off
            if (isTrue || EqualsIgnoringCase(value, "false") || EqualsIgnoringCase(value, "0") ||
                EqualsIgnoringCase(value, "1"))
                return;
            finding = ConfigFinding::kNotFalseTurnsOn;
            break;
        case OptionKeyword::kTraceQueueSize:
            if (EqualsIgnoringCase(value, "large") || EqualsIgnoringCase(value, "medium")) return;
            finding = ConfigFinding::kQueueSizeDefault;
            break;
        case OptionKeyword::kName:
            if (std::strlen(value) < kConfigNameCapacity) return;
            finding = ConfigFinding::kNameCut;
            break;
        case OptionKeyword::kLogFileLimit:
            if (IsDecimalNumberInRange(value)) return;
            finding = ConfigFinding::kNotANumber;
            break;
        case OptionKeyword::kCounterFile: finding = ConfigFinding::kCounterFileUnused; break;
        case OptionKeyword::kDisableFileTracing:
        case OptionKeyword::kDisableConsoleTracing:
        case OptionKeyword::kDisableRemoteTracing:
            if (isTrue) return;
            finding = ConfigFinding::kDisableValueIgnored;
            break;
        case OptionKeyword::kNone: return;
    }
    ReportFinding(&diagnostics, finding, line, value);
}

void DiagnoseCompletedConfig(ConfigDiagnostics& diagnostics, const TraceConfig& config, bool hasActiveTracer) {
    const struct {
        const BaseTracer& tracer;
        const char* name;
    } tracers[] = {{config.console, "console"}, {config.file, "file"}, {config.client, "client"}};
    for (const auto& each : tracers) {
        if (each.tracer.State() == kTracerDisabled && !each.tracer.ConfiguredFacilities().empty()) {
            diagnostics.Report({ConfigFinding::kDisabledTracerConfigured, diagnostics.path, 0, 0, each.name});
        }
    }
    if (!hasActiveTracer) diagnostics.Report({ConfigFinding::kNoActiveTracer, diagnostics.path, 0, 0, ""});
}

}  // namespace vextrel
