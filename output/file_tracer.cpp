// The FileTracer's share of a trace file: writing, flushing, sharing and comparing. Opening the file
// (naming, folder creation, retention) lives in trace_file.cpp.
#include "core/tracer.h"

#include <thread>

#include "output/file_writer.h"

namespace vextrel {

template <typename Use>
auto FileTracer::WithCurrentWriter(Use&& use) {
    // Counting in before reading the pointer (both sequentially consistent) pairs with SetWriter's
    // publish-then-count: either this read sees the new writer or SetWriter sees this thread inside.
    writersInside_.fetch_add(1, std::memory_order_seq_cst);
    FileWriter* writer = current_.load(std::memory_order_seq_cst);
    auto result = use(writer);
    writersInside_.fetch_sub(1, std::memory_order_release);
    return result;
}

void FileTracer::Write(char* line, int32_t length) {
    WithCurrentWriter([&](FileWriter* writer) {
        return writer != nullptr ? writer->Write(line, static_cast<uint64_t>(static_cast<int64_t>(length))) : 0;
    });
}

void FileTracer::WriteAndFlush(const char* line, int32_t length) {
    WithCurrentWriter([&](FileWriter* writer) {
        if (writer == nullptr) return 0;
        writer->Write(line, static_cast<uint64_t>(static_cast<int64_t>(length)));
        return writer->Flush();
    });
}

void FileTracer::WriteMissingPart(const char* line, int32_t length) {
    WithCurrentWriter([&](FileWriter* writer) {
        return writer != nullptr ? writer->WriteMissingPart(line, static_cast<uint64_t>(static_cast<int64_t>(length))) : 0;
    });
}

void FileTracer::BypassStream() {
    WithCurrentWriter([](FileWriter* writer) {
        if (writer != nullptr) writer->BypassStream();
        return 0;
    });
}

int FileTracer::Flush() {
    return WithCurrentWriter([](FileWriter* writer) { return writer != nullptr ? writer->Flush() : 0; });
}

const char* FileTracer::GetPath() const {
    std::lock_guard<std::mutex> guard(shareLock_);
    return writer_ ? writer_->GetPath() : "";
}

void FileTracer::CloseTraceFile() { SetWriter(nullptr); }

std::shared_ptr<FileWriter> FileTracer::Writer() const {
    std::lock_guard<std::mutex> guard(shareLock_);
    return writer_;
}

void FileTracer::SetWriter(std::shared_ptr<FileWriter> writer) {
    std::shared_ptr<FileWriter> released;
    {
        std::lock_guard<std::mutex> guard(shareLock_);
        released = std::move(writer_);
        writer_ = std::move(writer);
        current_.store(writer_.get(), std::memory_order_seq_cst);
    }
    // A write that read the old pointer is still counted; one that starts now reads the new one.
    // Writes are single lines, so the wait is short.
    while (released != nullptr && writersInside_.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
    // The last share closes the file here, outside the lock.
}

FileTracer& FileTracer::operator=(const FileTracer& other) {
    if (&other == this) return *this;
    CopyBaseFrom(other);
    SetWriter(other.Writer());
    append = other.append;
    logFileLimit = other.logFileLimit;
    return *this;
}

bool FileTracer::operator!=(const FileTracer& other) const {
    if (&other == this) return false;
    return !SameBaseAs(other) || append != other.append || logFileLimit != other.logFileLimit;
}

void FileTracer::MergeFrom(const FileTracer& other) {
    if (&other == this) return;
    MergeBaseFrom(other);
    const uint32_t mine = static_cast<uint32_t>(logFileLimit);
    const uint32_t theirs = static_cast<uint32_t>(other.logFileLimit);
    logFileLimit = static_cast<int32_t>(mine < theirs ? mine : theirs);
    append = append || other.append;
    if (std::shared_ptr<FileWriter> shared = other.Writer()) SetWriter(std::move(shared));
}

}  // namespace vextrel
