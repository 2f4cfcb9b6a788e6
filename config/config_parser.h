// The configuration language: reading a configuration file or text line by line into one
// TraceConfig and interpreting each line. Pure: what it needs from the host comes in as arguments,
// and the finished configuration goes back to the caller.
// Nothing here reports an error: whatever the reader does not understand it skips, telling only
// the optional listener of the context.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "config/config_diagnostics.h"
#include "core/trace_config.h"

namespace vextrel {

// A line holds at most this many characters; the rest of a longer line is read as further lines.
constexpr uint32_t kConfigLineCapacity = 1024;

// Limits no real host reaches, which keep any set of configuration files cheap to read and to start
// (1 MB of text in under 100 ms and 64 MB): a configuration file series reads its base file and at
// most 4095 numbered continuations; the library keeps at most 16 configurations, counted after those
// sharing a trace folder have merged (a host writes to a few trace folders at most). Each one kept
// costs its record ring (about 2.3 MB at the default queue size, touched when it starts), a writer
// thread and a trace file: 16 of them stay inside 64 MB. A file beyond a limit is ignored whole, and
// the list of configuration files read (the session header) says so. A facility line applies every
// token its line holds, VXF_ALL tokens included.
constexpr uint32_t kMaxContinuationFiles = 4095;
constexpr uint32_t kMaxConfigurations = 16;
// A configuration file larger than this is ignored whole (a real one holds a few kilobytes).
constexpr size_t kMaxConfigFileBytes = 16u << 20;

// Tracer mask bits chosen by the first character of a facility token.
constexpr uint32_t kMaskFileTracer = 1;
constexpr uint32_t kMaskConsoleTracer = 2;
constexpr uint32_t kMaskClientTracer = 4;

// The option keywords, in the order a key is compared with them (letter case ignored); any other
// key names a facility. OptionKeyword numbers them.
inline constexpr const char* kOptionKeywords[] = {
    "filetracingdir",
    "bequiet",
    "tracequeuesize",
    "append",
    "name",
    "logfilelimit",
    "disablefiletracing",
    "disableconsoletracing",
    "disableremotetracing",
    "counterfile",
    "crashrecord",
};
enum class OptionKeyword : uint8_t {
    kFileTracingDir,
    kBeQuiet,
    kTraceQueueSize,
    kAppend,
    kName,
    kLogFileLimit,
    kDisableFileTracing,
    kDisableConsoleTracing,
    kDisableRemoteTracing,
    kCounterFile,
    kCrashRecord,
    kNone,  // the key is no option keyword
};

// The first keyword that `key` equals when letter case is ignored, or kNone.
OptionKeyword OptionKeywordOf(const char* key);

// What the configuration language takes from the host.
struct ConfigContext {
    const char* defaultTraceFolder = "";       // for configurations without a trace folder of their own
    ConfigDiagnostics* diagnostics = nullptr;  // told what the reader skips; none in the library
};

// What one configuration text says, in reading order: the reader checks each option line and
// facility token and records it here; BuildConfig applies the steps to a new configuration. A
// text is thus read without making a configuration, whose priority tables are large.
struct ConfigDraft {
    struct Step {
        OptionKeyword keyword;        // kNone: a facility token
        uint32_t id, priority, mask;  // a facility token: what ApplyFacilityPriority takes
        uint32_t valueOffset;         // an option: where its NUL-terminated value starts in `values`
    };
    std::vector<Step> steps;
    std::string values;
    // Per tracer mask bit (file, console, client), the index + 1 of the last VXF_ALL step (0: none).
    // That step sets every facility of its tracer: the facility steps before it are not applied.
    uint32_t lastAllStep[3] = {};
};

// Reads exactly `length` bytes of `text` (NUL bytes included) into a draft; a negative length or a
// null text is an empty text.
ConfigDraft ReadConfigText(const char* text, int32_t length, const ConfigContext& context);

// A new configuration made of the draft's steps, with the default trace folder filled in; null when
// memory runs out or no tracer ended up active.
std::unique_ptr<TraceConfig> BuildConfig(const ConfigDraft& draft, const ConfigContext& context);

// The options of the draft alone: a new configuration with the draft's option lines applied, the
// default trace folder filled in, and each tracer in the state BuildConfig leaves it in, its table
// untouched; null when memory runs out or no tracer would be active. Merging it into a configuration
// and then lowering that one with LowerToDraft does what merging BuildConfig(draft) into it does,
// without making the draft's tables.
std::unique_ptr<TraceConfig> BuildDraftOptions(const ConfigDraft& draft, const ConfigContext& context);

// The trace folder BuildDraftOptions gives the draft's configuration (its last filetracingdir line,
// else the default), cut to the same length.
void DraftTraceFolder(const ConfigDraft& draft, const ConfigContext& context, char (&folder)[kConfigPathCapacity]);

// The tracers (kMask... bits) BuildDraftOptions would leave active, memory permitting (none: it
// would return null). Tells without making a configuration whether a file with no room for one of
// its own is ignored, and which tracers a file without option lines turns on.
uint32_t DraftActiveTracers(const ConfigDraft& draft);

// Lowers the tables of `config` to the draft's facility lines, as merging BuildConfig(draft) into it
// lowers them (a VXF_ALL line as one value for every facility it names), and adds the facilities
// they set to its configured ones; tracer states and options are left as they are.
void LowerToDraft(const ConfigDraft& draft, TraceConfig* config);

// BuildConfig of what exactly `length` bytes of `text` say (ReadConfigText).
std::unique_ptr<TraceConfig> ParseConfigText(const char* text, int32_t length, const ConfigContext& context);

// Reads one NUL-terminated line (changed in place) into the draft: a comment, an option keyword or a
// facility line; anything else is ignored.
void InterpretConfigLine(char* line, ConfigDraft* draft, const ConfigContext& context);

// Applies the draft's steps, in order, to the configuration.
void ApplyDraft(const ConfigDraft& draft, TraceConfig* config, const ConfigContext& context);

// Sets `priority` for facility `id` in each tracer that `mask` selects (console, then file, then
// client); VXF_ALL stands for every named id below it. Nothing for an unnamed id or priority.
void ApplyFacilityPriority(uint32_t id, uint32_t priority, uint32_t mask, TraceConfig* config);

// What a counter-file name yields as the file tracer's counter value: 0 for every name, which keeps
// trace files named by date and time.
uint32_t CounterFileValue(const char* counterFileName);

}  // namespace vextrel
