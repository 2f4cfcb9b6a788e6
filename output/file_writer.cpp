#include "output/file_writer.h"

#include <cstring>
#include <string_view>

#include "output/trace_file_handles.h"
#include "output/user_name_scrub.h"
#include "platform/files.h"

namespace vextrel {

FileWriter::FileWriter(const char* path, bool append) : path_(path != nullptr ? path : ""), append_(append) {}

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
        // A crash record is written straight to the file's handle.
        RememberTraceFileHandle(stream_);
    }
    return stream_ != nullptr;
}

uint64_t FileWriter::Write(const char* text, uint64_t length) {
    if (stream_ == nullptr || text == nullptr) return 0;
    // A negative length widened on the way in means the whole text; no length reaches past the
    // terminator.
    if (static_cast<int64_t>(length) < 0) {
        length = std::strlen(text);
    } else if (const void* end = std::memchr(text, '\0', static_cast<size_t>(length))) {
        length = static_cast<uint64_t>(static_cast<const char*>(end) - text);
    }
    // The name is read on every write. The scrubbed copy goes into a buffer of our own: the writer
    // thread hands the same line to the console and the clients after the file.
    char scrubbed[kScrubbedLineCapacity];
    const std::string_view line = ScrubUserName(std::string_view(text, static_cast<size_t>(length)),
                                                platform::EnvironmentValue(platform::UserNameVariable()),
                                                scrubbed, sizeof scrubbed);
    return std::fwrite(line.data(), 1, line.size(), stream_);
}

int FileWriter::Flush() { return stream_ != nullptr ? std::fflush(stream_) : EOF; }

}  // namespace vextrel
