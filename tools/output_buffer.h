// Output gathered in one large buffer and written a buffer at a time, for commands that write many
// lines: text goes in by pointer, with no formatting call per line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace vextrel::tool {

class OutputBuffer {
public:
    // 256 KB: small enough to stay in the core's cache while the system copies it out. A 1 MB
    // buffer made writing a 2 GB timeline to a file cost two to three times the system time.
    static constexpr size_t kCapacity = 1 << 18;

    explicit OutputBuffer(std::FILE* out) : out_(out), data_(new char[kCapacity]), capacity_(kCapacity) {}
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

    // Room for `bytes` more, after writing out what has gathered when they would not fit: the
    // place to write them, made known with Commit. A piece larger than the buffer grows it once.
    char* Reserve(size_t bytes) {
        if (capacity_ - size_ < bytes) {
            Flush();
            if (capacity_ < bytes) {
                data_.reset(new char[bytes]);
                capacity_ = bytes;
            }
        }
        return data_.get() + size_;
    }
    // The bytes written from Reserve's place up to `end` are part of the output.
    void Commit(char* end) { size_ = static_cast<size_t>(end - data_.get()); }

    void Append(std::string_view text) {
        char* at = Reserve(text.size());
        std::memcpy(at, text.data(), text.size());
        Commit(at + text.size());
    }

    // Writes everything gathered; throws std::runtime_error when the output cannot be written.
    void Flush() {
        if (size_ != 0 && std::fwrite(data_.get(), 1, size_, out_) != size_)
            throw std::runtime_error("cannot write the output");
        size_ = 0;
        if (std::fflush(out_) != 0) throw std::runtime_error("cannot write the output");
    }

private:
    std::FILE* out_;
    std::unique_ptr<char[]> data_;
    size_t capacity_;
    size_t size_ = 0;
};

// Copies a literal without measuring it at run time; returns the end.
template <size_t size>
char* WriteLiteral(char* at, const char (&literal)[size]) {
    std::memcpy(at, literal, size - 1);
    return at + size - 1;
}

inline char* WriteText(char* at, std::string_view text) {
    std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

// The number of decimal digits of `value`.
inline size_t DecimalDigits(uint64_t value) {
    size_t count = 1;
    for (;; value /= 10000, count += 4) {
        if (value < 10) return count;
        if (value < 100) return count + 1;
        if (value < 1000) return count + 2;
        if (value < 10000) return count + 3;
    }
}

// The two digits of every number below 100, "00" to "99".
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The decimal digits of `value`; returns the end. Written in place from the last digit, two a
// step from a table: this runs for every number of every event the timeline writes.
[[gnu::always_inline]] inline char* WriteDecimal(char* at, uint64_t value) {
    const char* const kPairs = kDigitPairs;
    char* const end = at + DecimalDigits(value);
    char* digit = end;
    while (value >= 100) {
        digit -= 2;
        std::memcpy(digit, kPairs + value % 100 * 2, 2);
        value /= 100;
    }
    if (value >= 10) {
        std::memcpy(digit - 2, kPairs + value * 2, 2);
    } else {
        digit[-1] = static_cast<char>('0' + value);
    }
    return end;
}

inline char* WriteSigned(char* at, int64_t value) {
    if (value >= 0) return WriteDecimal(at, static_cast<uint64_t>(value));
    *at++ = '-';
    return WriteDecimal(at, 0 - static_cast<uint64_t>(value));
}

}  // namespace vextrel::tool
