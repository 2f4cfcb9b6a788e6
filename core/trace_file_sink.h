// TraceFileSink: what a FileTracer writes its lines to. The tracer lives here with the
// configurations; the open file behind it (FileWriter) lives in output/, which implements this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vextrel {

class TraceFileSink {
public:
    TraceFileSink() = default;
    virtual ~TraceFileSink() = default;
    TraceFileSink(const TraceFileSink&) = delete;
    TraceFileSink& operator=(const TraceFileSink&) = delete;

    // Writes up to `length` bytes of the text (a length negative as a signed number: the whole
    // text); the count of bytes written.
    virtual uint64_t Write(const char* text, uint64_t length) = 0;

    // The text as Write puts it into the file, in `scratch` when it changed, else a view of the text
    // itself.
    virtual std::string_view Prepared(const char* text, uint64_t length, char* scratch, size_t scratchSize) const = 0;

    // Writes text that Prepared made, many lines at once, with one write, then flushes; with
    // `onlyMissing`, less the part the file already ends with. The count of bytes written.
    virtual uint64_t WriteBlock(const char* text, size_t length, bool onlyMissing) = 0;

    // Pushes what is buffered to the file; 0 on success, EOF otherwise.
    virtual int Flush() = 0;

    // Writes the part of the text the file does not end with yet: for the line a writer thread
    // ended by the system was writing. The count of bytes written.
    virtual uint64_t WriteMissingPart(const char* text, uint64_t length) = 0;

    // Stops using buffered output, for a writing thread the system ended at process exit.
    virtual void BypassStream() = 0;

    // The file's path ("" for standard output); valid while the sink lives.
    virtual const char* GetPath() const = 0;
};

}  // namespace vextrel
