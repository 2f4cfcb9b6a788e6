// FileWriter: one open trace file, shared between FileTracer copies.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vextrel {

class FileWriter {
public:
    // A null path leaves the path empty (Open then uses standard output).
    FileWriter(const char* path, bool append);
    // Closes the stream unless it is null or standard output.
    virtual ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Opens the path in text mode, "a" when appending, "w" otherwise; an empty path uses standard
    // output and clears the append flag. Whether a stream was obtained.
    virtual bool Open();

    // Writes the text (up to `length` bytes, never past its terminator; a length that is negative
    // as a signed number means the whole text) with the user's login name replaced by "username"
    // (see ScrubUserName); the caller's text is left unchanged. The count of bytes written, 0
    // without a stream.
    virtual uint64_t Write(const char* text, uint64_t length);

    // fflush on the stream; EOF without a stream.
    virtual int Flush();

    // The path given at construction ("" for standard output).
    virtual const char* GetPath() const { return path_.c_str(); }
    // The extension of every trace file: "txt".
    virtual const char* GetExtension() const { return "txt"; }

protected:
    std::FILE* stream_ = nullptr;
    std::string path_;
    bool append_ = false;
};

}  // namespace vextrel
