// The two readers of the configuration language and the completion of what they read.
#include "config/config_parser.h"

#include "config/text_scan.h"
#include "host/host_info.h"
#include "platform/bounded_text.h"

namespace vextrel {
namespace {

// Splits a stream of characters into lines and interprets each one. CR, LF and any run of them end
// a line alike; a line that reaches its capacity is ended there and the rest of it becomes the next
// line; a NUL is kept like any other character and cuts the interpretation of its line.
class LineSplitter {
public:
    explicit LineSplitter(TraceConfig* config) : config_(config) {}

    // Takes the next character of the input.
    void Put(char c) {
        if (c == '\r' || c == '\n') {
            if (!inLineBreak_) EndLine();
            inLineBreak_ = true;
            return;
        }
        inLineBreak_ = false;
        line_[length_++] = c;
        if (length_ == kConfigLineCapacity - 1) EndLine();
    }

    // Ends the input: the current line, even a partial or empty one, is interpreted.
    void Finish() {
        if (!inLineBreak_) EndLine();
    }

private:
    void EndLine() {
        line_[length_] = '\0';
        length_ = 0;
        InterpretConfigLine(line_, config_);
    }

    TraceConfig* config_;
    char line_[kConfigLineCapacity];
    uint32_t length_ = 0;
    bool inLineBreak_ = false;
};

bool HasActiveTracer(const TraceConfig& config) {
    return config.console.State() == kTracerActive || config.file.State() == kTracerActive ||
           config.client.State() == kTracerActive;
}

// Fills in the default trace folder, then either hands the configuration to the manager or, when it
// leaves no tracer active, destroys it.
TraceConfig* CompleteConfig(TraceConfig* config, CVextrelManager* manager) {
    if (config->traceFolder[0] == '\0') {
        CopyTruncated(config->traceFolder, sizeof config->traceFolder, Host().defaultTraceFolder);
    }
    if (!HasActiveTracer(*config)) {
        delete config;
        return nullptr;
    }
    AddConfig(manager, config);
    return config;
}

}  // namespace

TraceConfig* ParseConfigFile(std::FILE* stream, CVextrelManager* manager) {
    if (stream == nullptr || manager == nullptr) return nullptr;
    TraceConfig* config = TraceConfig::Create();
    if (config == nullptr) return nullptr;
    LineSplitter splitter(config);
    // A read error ends the input like its end does; what was read so far counts.
    for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) splitter.Put(static_cast<char>(c));
    splitter.Finish();
    return CompleteConfig(config, manager);
}

TraceConfig* ParseConfigText(const char* text, int32_t length, CVextrelManager* manager) {
    if (manager == nullptr) return nullptr;
    TraceConfig* config = TraceConfig::Create();
    if (config == nullptr) return nullptr;
    if (text != nullptr && length > 0) {
        LineSplitter splitter(config);
        for (int32_t i = 0; i < length; ++i) splitter.Put(text[i]);
        splitter.Finish();
    }
    return CompleteConfig(config, manager);
}

}  // namespace vextrel
