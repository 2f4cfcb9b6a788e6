// Output gathered in one large buffer and written a buffer at a time, for commands that write many
// lines: text goes in by pointer, with no formatting call per line.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <utility>

#include "tools/tool_system.h"

namespace vextrel::tool {

// Writes pieces of a file on a thread of its own, one at a time, so that a direct write, which
// returns only once the disk has the piece, overlaps with producing the next piece.
class PieceWriter {
public:
    explicit PieceWriter(OutputFile& file) : file_(file), thread_([this] { Run(); }) {}
    PieceWriter(const PieceWriter&) = delete;
    PieceWriter& operator=(const PieceWriter&) = delete;
    ~PieceWriter() {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();  // after writing the piece in hand, if any
    }

    // Waits for the piece before, then hands over this one, which stays unchanged until the next
    // Start or Wait returns.
    void Start(const char* data, size_t size) {
        Wait();
        {
            const std::lock_guard lock(mutex_);
            data_ = data;
            size_ = size;
            pending_ = true;
        }
        changed_.notify_all();
    }
    // Waits until the piece in hand is written; throws what writing it threw.
    void Wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !pending_; });
        if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    }

private:
    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return pending_ || stop_; });
            if (!pending_) return;
            lock.unlock();
            std::exception_ptr error;
            try {
                file_.Write(data_, size_);
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            error_ = error;
            pending_ = false;
            changed_.notify_all();
        }
    }

    OutputFile& file_;
    std::mutex mutex_;
    std::condition_variable changed_;
    const char* data_ = nullptr;
    size_t size_ = 0;
    bool pending_ = false;
    bool stop_ = false;
    std::exception_ptr error_;
    std::thread thread_;  // last: starts once the rest is set up
};

class OutputBuffer {
public:
    // 256 KB: small enough to stay in the core's cache while the system copies it out. A 1 MB
    // buffer made writing a 2 GB timeline to a file cost two to three times the system time.
    static constexpr size_t kCapacity = 1 << 18;
    // 4 MB for a file written past the system's cache: nothing is copied, and a write costs the
    // system about the same whatever its size (writing 2 GB took 0.8-1.0 s of system time in
    // 256 KB pieces, 0.45-0.5 s in 1 MB pieces and 0.35-0.45 s in 4 MB pieces).
    static constexpr size_t kDirectCapacity = 1 << 22;

    // Output to a stream, written and flushed a buffer at a time.
    explicit OutputBuffer(std::FILE* out) : stream_(out), capacity_(kCapacity), data_(Allocate(capacity_)) {}
    // Output to a file, written in whole multiples of OutputFile::kAlignment until Flush.
    // Pieces written directly go out on a thread of their own from one buffer while the other fills.
    explicit OutputBuffer(OutputFile& file)
        : file_(&file), capacity_(file.Direct() ? kDirectCapacity : kCapacity), data_(Allocate(capacity_)) {
        if (file.Direct()) {
            spare_ = Allocate(capacity_);
            writer_ = std::make_unique<PieceWriter>(file);
        }
    }
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

    // Room for `bytes` more, after writing out what has gathered when they would not fit: the
    // place to write them, made known with Commit. A piece larger than the buffer grows it once.
    char* Reserve(size_t bytes) {
        if (capacity_ - size_ < bytes) {
            WriteOut();
            if (capacity_ - size_ < bytes) {
                const size_t capacity =
                    (size_ + bytes + OutputFile::kAlignment - 1) / OutputFile::kAlignment * OutputFile::kAlignment;
                Buffer data = Allocate(capacity);
                std::memcpy(data.get(), data_.get(), size_);
                data_ = std::move(data);
                capacity_ = capacity;
                if (writer_) {
                    writer_->Wait();
                    spare_ = Allocate(capacity);
                }
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
        if (file_ != nullptr) {
            if (writer_) writer_->Wait();
            file_->Write(data_.get(), size_);
            size_ = 0;
            return;
        }
        if (size_ != 0 && std::fwrite(data_.get(), 1, size_, stream_) != size_)
            throw std::runtime_error("cannot write the output");
        size_ = 0;
        if (std::fflush(stream_) != 0) throw std::runtime_error("cannot write the output");
    }

private:
    struct Free {
        void operator()(char* data) const { ::operator delete[](data, std::align_val_t{OutputFile::kAlignment}); }
    };
    using Buffer = std::unique_ptr<char[], Free>;
    static Buffer Allocate(size_t bytes) {
        return Buffer(static_cast<char*>(::operator new[](bytes, std::align_val_t{OutputFile::kAlignment})));
    }

    // Makes room: everything to a stream; to a file, the whole blocks gathered, the rest (less
    // than a block) moved to the start of the buffer.
    void WriteOut() {
        if (file_ == nullptr) return Flush();
        const size_t whole = size_ / OutputFile::kAlignment * OutputFile::kAlignment;
        if (whole == 0) return;
        if (writer_) {
            writer_->Start(data_.get(), whole);  // once the spare buffer's piece is written
            std::memcpy(spare_.get(), data_.get() + whole, size_ - whole);
            std::swap(data_, spare_);
        } else {
            file_->Write(data_.get(), whole);
            std::memmove(data_.get(), data_.get() + whole, size_ - whole);
        }
        size_ -= whole;
    }

    std::FILE* stream_ = nullptr;
    OutputFile* file_ = nullptr;
    size_t capacity_;
    Buffer data_;
    Buffer spare_;  // the piece being written, with a writer
    size_t size_ = 0;
    std::unique_ptr<PieceWriter> writer_;  // last: gone before the buffers it may be writing from
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
