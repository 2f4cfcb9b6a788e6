// An optional listener that the configuration reader tells about every part of a text it skips or
// cannot use as written. The reader itself never reports anything: without a listener (the
// library's case) it only tests one null pointer at each of these places.
#pragma once

#include <cstdint>

namespace vextrel {

class TraceConfig;
enum class OptionKeyword : uint8_t;

// What the reader found; every kind except kTraceFolderLine means something was ignored or
// did less than its text suggests.
enum class ConfigFinding : uint8_t {
    kTraceFolderLine,           // a line that sets the trace folder (text: the folder); not a fault
    kNoSeparator,               // a line with text but no "=": ignored
    kNoKey,                     // a line that starts with "=": its first value is taken as the key
    kNoValue,                   // nothing after "=": the line does nothing
    kExtraSeparator,            // text after a further "=" (text: that rest) is ignored
    kUnknownKey,                // neither an option keyword nor a registered facility name: ignored
    kTokenWithoutAt,            // a tracer token without "@": skipped
    kUnknownPriority,           // text after "@" that is none of the five level names: token skipped
    kNoTracerSelected,          // a token whose first character selects no tracer
    kClientSpelledConsole,      // a token spelled "Client": its first letter selects the console tracer
    kDisableValueIgnored,       // a disabling keyword whose value is not "true": does nothing
    kNotFalseTurnsOn,           // a flag value that is not "false" but not "true" either: turns it on
    kQueueSizeDefault,          // a queue size that is neither "large" nor "medium": the default size
    kNotANumber,                // a log file limit that is not wholly a decimal number in range
    kNameCut,                   // a name longer than a configuration keeps: cut
    kCounterFileUnused,         // the counter file has no effect: trace files are named by time
    kLineSplit,                 // a line longer than a line buffer: the rest is read as a new line
    kDisabledTracerConfigured,  // facility lines for a tracer that is disabled (text: the tracer)
    kNoActiveTracer,            // the text leaves no tracer active: the configuration is dropped
};

// One finding: where it is and the piece of text it is about.
struct ConfigFindingReport {
    ConfigFinding finding;
    const char* path;  // the file being read, "" for a text
    uint32_t line;     // 1-based; 0 for a finding about the whole text
    uint32_t column;   // 1-based; 0 for a finding about the whole line or text
    const char* text;  // the key, token, value or rest concerned (NUL-terminated)
};

// Receives findings. The reader sets the position members as it goes.
class ConfigDiagnostics {
public:
    virtual ~ConfigDiagnostics() = default;

    // Called once for each finding, in reading order.
    virtual void Report(const ConfigFindingReport& report) = 0;

    const char* path = "";      // set by the file loader before each file; valid while it reads
    uint32_t line = 1;          // the physical line of the text being interpreted
    uint32_t columnOffset = 0;  // characters of that physical line before the piece interpreted
};

// Reports a finding about `piece`, a pointer into `lineStart`'s line, through the context's
// listener; nothing when there is none. A null piece reports the whole line.
void ReportFinding(ConfigDiagnostics* diagnostics, ConfigFinding finding, const char* lineStart, const char* piece);

// Checks the value of an option line that was applied and reports what it does not do as written.
void DiagnoseOptionValue(ConfigDiagnostics& diagnostics, const char* line, OptionKeyword keyword, const char* value);

// Reports, after the last line of a text, each tracer that facility lines configured but a
// disabling keyword switched off, and a configuration left without an active tracer.
void DiagnoseCompletedConfig(ConfigDiagnostics& diagnostics, const TraceConfig& config, bool hasActiveTracer);

}  // namespace vextrel
