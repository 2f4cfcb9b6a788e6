// FileWriter: one open trace file, shared between FileTracer copies.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/trace_file_sink.h"

namespace vextrel {

// The lines that tell the reader of a trace file that records were lost.
extern const char* const kLostOutputLines[3];

class FileWriter : public TraceFileSink {
public:
    // A null path leaves the path empty (Open then uses standard output).
    FileWriter(const char* path, bool append);
    // Closes the stream unless it is null or standard output.
    virtual ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Opens the path in text mode, "a" when appending, "w" otherwise, without a stream buffer (the
    // writer thread brings its own, see WriteBlock); an empty path uses standard output and clears
    // the append flag. Whether a stream was obtained.
    virtual bool Open();

    // Writes the text (up to `length` bytes, never past its terminator; a length that is negative
    // as a signed number means the whole text) with the user's login name replaced by "username"
    // (see ScrubUserName); the caller's text is left unchanged. The count of bytes written, 0
    // without a stream. After a failed write or flush (a full disk) each call first tries to flush
    // what is pending: while that fails the text is dropped; once it succeeds the stream's error
    // state is cleared, a newline ends the line the failure may have cut and the lost-output lines
    // report the gap before the text.
    uint64_t Write(const char* text, uint64_t length) override;

    // The text as Write puts it into the file (the length rule and the user's name replaced), in
    // `scratch` when it changed, else a view of the text itself.
    std::string_view Prepared(const char* text, uint64_t length, char* scratch, size_t scratchSize) const override;

    // Writes text that Prepared made, many lines at once, with one write, then flushes: how the
    // writer thread hands the file its lines. With `onlyMissing`, less the part the file already
    // ends with (see WriteMissingPart). Fails and recovers as Write; the count of bytes written.
    uint64_t WriteBlock(const char* text, size_t length, bool onlyMissing = false) override;

    // fflush on the stream; EOF without a stream or when it fails (the writer then recovers as
    // Write says).
    int Flush() override;

    // Stops using the stream, for a writer thread the system ended at process exit: the stream's
    // buffer (part of a line, perhaps) is discarded without the stream's lock, which that thread may
    // still hold, and every later write goes straight to the file's handle; Flush then has nothing
    // to do. The stream stays open. Nothing without a stream or when done already.
    void BypassStream() override;

    // Writes the text as Write does, less the part the file already ends with (see CompareFileEnd;
    // the stream is flushed first unless bypassed): for the line a writer thread ended by the system
    // was writing. The count of bytes written.
    uint64_t WriteMissingPart(const char* text, uint64_t length) override;

    // The path given at construction ("" for standard output).
    const char* GetPath() const override { return path_.c_str(); }

protected:
    std::FILE* stream_ = nullptr;
    std::string path_;
    bool append_ = false;

private:
    // After a failure: whether the stream takes data again, the cut line ended and the gap reported.
    bool Recover();
    // Notes a failure when the stream's error indicator is set; returns `result`.
    template <typename Result>
    Result Checked(Result result);

    // Write and WriteMissingPart (`skipWritten`).
    uint64_t WriteText(const char* text, uint64_t length, bool skipWritten);
    // Puts prepared text into the file, less what the file already ends with when `skipWritten`.
    uint64_t PutOut(std::string_view text, bool skipWritten);

    // The user's login name, read once when the writer is made; empty when unset.
    std::string userName_;
    bool failed_ = false;
    // The file's native handle once the stream is bypassed, else -1.
    intptr_t bypassHandle_ = -1;
};

}  // namespace vextrel
