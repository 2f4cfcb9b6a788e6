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

    // Opens the path with mode "a" when appending, "w" otherwise; an empty path uses standard output
    // and clears the append flag. Whether a stream was obtained.
    virtual bool Open();

    // Replaces the user's login name in `text` (in place) and writes the resulting bytes; the
    // count written.
    virtual uint64_t Write(char* text, uint64_t length);

    // fflush on the stream.
    virtual int Flush();

    virtual const char* GetPath() const { return path_.c_str(); }
    virtual const char* GetExtension() const { return "txt"; }

protected:
    std::FILE* stream_ = nullptr;
    std::string path_;
    bool append_ = false;
};

}  // namespace vextrel
