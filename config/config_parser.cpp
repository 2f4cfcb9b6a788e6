// The two readers of the configuration language and the completion of what they read.
#include "config/config_parser.h"

#include "config/text_scan.h"
#include "core/facility.h"
#include "platform/bounded_text.h"

namespace vextrel {
namespace {

// Splits a stream of characters into lines and interprets each one. CR, LF and any run of them end
// a line alike; a line that reaches its capacity is ended there and the rest of it becomes the next
// line; a NUL is kept like any other character and cuts the interpretation of its line.
class LineSplitter {
public:
    LineSplitter(ConfigDraft* draft, const ConfigContext& context) : draft_(draft), context_(context) {
        RegisterBuiltinFacilities();  // facility lines are read by name
        if (context_.diagnostics != nullptr) {
            context_.diagnostics->line = 1;
            context_.diagnostics->columnOffset = 0;
        }
    }

    // Takes the next character of the input.
    void Put(char c) {
        if (c == '\r' || c == '\n') {
            if (!inLineBreak_) EndLine();
            inLineBreak_ = true;
            if (context_.diagnostics != nullptr) CountLineBreak(c);
            previous_ = c;
            return;
        }
        inLineBreak_ = false;
        previous_ = c;
        line_[length_++] = c;
        if (length_ == kConfigLineCapacity - 1) {
            ReportFinding(context_.diagnostics, ConfigFinding::kLineSplit, line_, line_ + length_ - 1);
            EndLine();
            if (context_.diagnostics != nullptr) context_.diagnostics->columnOffset += kConfigLineCapacity - 1;
        }
    }

    // Ends the input: the current line, even a partial or empty one, is interpreted.
    void Finish() {
        if (!inLineBreak_) EndLine();
    }

private:
    // A CR, an LF and a CR LF pair each end one physical line.
    void CountLineBreak(char c) {
        if (c == '\r' || previous_ != '\r') ++context_.diagnostics->line;
        context_.diagnostics->columnOffset = 0;
    }

    void EndLine() {
        line_[length_] = '\0';
        length_ = 0;
        InterpretConfigLine(line_, draft_, context_);
    }

    ConfigDraft* draft_;
    const ConfigContext& context_;
    char line_[kConfigLineCapacity];
    uint32_t length_ = 0;
    bool inLineBreak_ = false;
    char previous_ = '\0';
};

bool HasActiveTracer(const TraceConfig& config) {
    return config.console.State() == kTracerActive || config.file.State() == kTracerActive ||
           config.client.State() == kTracerActive;
}

}  // namespace

std::unique_ptr<TraceConfig> BuildConfig(const ConfigDraft& draft, const ConfigContext& context) {
    std::unique_ptr<TraceConfig> config(TraceConfig::Create());
    if (config == nullptr) return nullptr;
    ApplyDraft(draft, config.get(), context);
    if (config->traceFolder[0] == '\0') {
        CopyTruncated(config->traceFolder, sizeof config->traceFolder, context.defaultTraceFolder);
    }
    const bool active = HasActiveTracer(*config);
    if (context.diagnostics != nullptr) DiagnoseCompletedConfig(*context.diagnostics, *config, active);
    if (!active) return nullptr;
    return config;
}

ConfigDraft ReadConfigText(const char* text, int32_t length, const ConfigContext& context) {
    ConfigDraft draft;
    if (text != nullptr && length > 0) {
        LineSplitter splitter(&draft, context);
        for (int32_t i = 0; i < length; ++i) splitter.Put(text[i]);
        splitter.Finish();
    }
    return draft;
}

std::unique_ptr<TraceConfig> ParseConfigText(const char* text, int32_t length, const ConfigContext& context) {
    return BuildConfig(ReadConfigText(text, length, context), context);
}

}  // namespace vextrel
