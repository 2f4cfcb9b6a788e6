#include "output/file_writer.h"

#include <cstring>
#include <string_view>

#include "output/trace_file_handles.h"
#include "output/user_name_scrub.h"
#include "platform/files.h"
#include "platform/stream.h"

namespace vextrel {

const char* const kLostOutputLines[3] = {
    "!!!***!!! The trace writer couldn't keep up with the incoming trace requests.\n",
    "!!!***!!! Some of your trace output has been lost.  Try decreasing the amount of\n",
    "!!!***!!! trace output you are logging, or increasing the size of the trace buffer.\n",
};

FileWriter::FileWriter(const char* path, bool append) : path_(path != nullptr ? path : ""), append_(append) {
    const char* name = platform::EnvironmentValue(platform::UserNameVariable());
    if (name != nullptr) userName_ = name;
}

FileWriter::~FileWriter() {
    if (stream_ != nullptr && stream_ != stdout) {
        ForgetTraceFileHandle(stream_);
        std::fclose(stream_);
    }
}

bool FileWriter::Open() {
    if (stream_ != nullptr && stream_ != stdout) {
        ForgetTraceFileHandle(stream_);
        std::fclose(stream_);
    }
    if (path_.empty()) {
        stream_ = stdout;
        append_ = false;
    } else {
        stream_ = std::fopen(path_.c_str(), append_ ? "a" : "w");
        // Every write is a whole line or a writer thread's block of lines, flushed at once: a stream
        // buffer would only copy them once more and split a block into several writes.
        if (stream_ != nullptr) std::setvbuf(stream_, nullptr, _IONBF, 0);
        // A crash record is written straight to the file's handle.
        RememberTraceFileHandle(stream_);
    }
    return stream_ != nullptr;
}

template <typename Result>
Result FileWriter::Checked(Result result) {
    if (std::ferror(stream_) != 0) failed_ = true;
    return result;
}

bool FileWriter::Recover() {
    std::clearerr(stream_);
    // A newline ends the line the failure may have cut; while it cannot reach the file, the disk is
    // still full.
    if (std::fputs("\n", stream_) == EOF || std::fflush(stream_) != 0) {
        std::clearerr(stream_);
        return false;
    }
    failed_ = false;
    for (const char* text : kLostOutputLines) std::fputs(text, stream_);
    return Checked(true);
}

void FileWriter::BypassStream() {
    if (stream_ == nullptr || bypassHandle_ != -1) return;
    platform::DiscardStreamBuffer(stream_);
    // The handle's position is the file's end: the stream's writes are the only ones.
    bypassHandle_ = platform::NativeHandleOfStream(stream_);
    failed_ = false;
}

uint64_t FileWriter::Write(const char* text, uint64_t length) { return WriteText(text, length, false); }

uint64_t FileWriter::WriteMissingPart(const char* text, uint64_t length) { return WriteText(text, length, true); }

std::string_view FileWriter::Prepared(const char* text, uint64_t length, char* scratch, size_t scratchSize) const {
    if (text == nullptr) return {};
    // A negative length widened on the way in means the whole text; no length reaches past the
    // terminator.
    if (static_cast<int64_t>(length) < 0) {
        length = std::strlen(text);
    } else if (const void* end = std::memchr(text, '\0', static_cast<size_t>(length))) {
        length = static_cast<uint64_t>(static_cast<const char*>(end) - text);
    }
    return ScrubUserName(std::string_view(text, static_cast<size_t>(length)),
                         userName_.empty() ? nullptr : userName_.c_str(), scratch, scratchSize);
}

uint64_t FileWriter::WriteText(const char* text, uint64_t length, bool skipWritten) {
    if (stream_ == nullptr || text == nullptr) return 0;
    if (bypassHandle_ == -1 && failed_ && !Recover()) return 0;
    // The scrubbed copy goes into a buffer of our own: the caller's text stays as it is.
    char scrubbed[kScrubbedLineCapacity];
    return PutOut(Prepared(text, length, scrubbed, sizeof scrubbed), skipWritten);
}

uint64_t FileWriter::WriteBlock(const char* text, size_t length, bool onlyMissing) {
    if (stream_ == nullptr || text == nullptr) return 0;
    if (bypassHandle_ == -1 && failed_ && !Recover()) return 0;
    const uint64_t written = PutOut(std::string_view(text, length), onlyMissing);
    if (bypassHandle_ == -1) Checked(std::fflush(stream_));
    return written;
}

uint64_t FileWriter::PutOut(std::string_view line, bool skipWritten) {
    size_t written = 0;
    if (skipWritten) {
        // What the stream holds is in the file first, unless the stream is bypassed (its buffer is
        // gone then).
        if (bypassHandle_ == -1) Checked(std::fflush(stream_));
        written = platform::CompareFileEnd(path_.c_str(), line.data(), line.size());
    }
    if (bypassHandle_ != -1) {
        platform::WriteToNativeHandle(bypassHandle_, line.data() + written, line.size() - written);
        return line.size() - written;
    }
    return Checked(static_cast<uint64_t>(std::fwrite(line.data() + written, 1, line.size() - written, stream_)));
}

int FileWriter::Flush() {
    if (stream_ == nullptr) return EOF;
    if (bypassHandle_ != -1) return 0;
    if (failed_ && !Recover()) return EOF;
    return Checked(std::fflush(stream_));
}

}  // namespace vextrel
