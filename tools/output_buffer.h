// Output gathered in a string and written in large pieces, for commands that write many lines.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

namespace vextrel::tool {

class OutputBuffer {
public:
    explicit OutputBuffer(std::FILE* out) : out_(out) { text_.reserve(kFlushBytes * 2); }

    // The text to append to.
    std::string& Text() { return text_; }
    // Writes the text out once enough has gathered.
    void Written() {
        if (text_.size() >= kFlushBytes) Flush();
    }
    // Writes everything; throws std::runtime_error when the output cannot be written.
    void Flush() {
        if (!text_.empty() && std::fwrite(text_.data(), 1, text_.size(), out_) != text_.size())
            throw std::runtime_error("cannot write the output");
        text_.clear();
        if (std::fflush(out_) != 0) throw std::runtime_error("cannot write the output");
    }

private:
    static constexpr size_t kFlushBytes = 256 * 1024;
    std::FILE* out_;
    std::string text_;
};

}  // namespace vextrel::tool
