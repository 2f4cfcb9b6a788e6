// The FileTracer's share of a trace file: writing, flushing, sharing and comparing. Opening the file
// (naming, folder creation, retention) lives in trace_file.cpp.
#include "core/tracer.h"

#include "output/file_writer.h"

namespace vextrel {

void FileTracer::Write(char* line, int32_t length) {
    std::lock_guard<std::mutex> guard(writerLock_);
    if (writer_) writer_->Write(line, static_cast<uint64_t>(static_cast<int64_t>(length)));
}

int FileTracer::Flush() {
    std::lock_guard<std::mutex> guard(writerLock_);
    return writer_ ? writer_->Flush() : 0;
}

const char* FileTracer::GetPath() const {
    std::lock_guard<std::mutex> guard(writerLock_);
    return writer_ ? writer_->GetPath() : "";
}

void FileTracer::CloseTraceFile() { SetWriter(nullptr); }

bool FileTracer::HasWriter() const {
    std::lock_guard<std::mutex> guard(writerLock_);
    return writer_ != nullptr;
}

std::shared_ptr<FileWriter> FileTracer::Writer() const {
    std::lock_guard<std::mutex> guard(writerLock_);
    return writer_;
}

void FileTracer::SetWriter(std::shared_ptr<FileWriter> writer) {
    std::shared_ptr<FileWriter> released;
    {
        std::lock_guard<std::mutex> guard(writerLock_);
        released = std::move(writer_);
        writer_ = std::move(writer);
    }
    // The last share closes the file outside the lock.
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
