// The FileTracer's share of a trace file: writing, flushing, sharing and comparing. Opening the file
// (naming, folder creation, retention) lives in output/, which hands the tracer its sink.
#include "core/tracer.h"

#include <string>

#include "core/reclaim.h"
#include "platform/files.h"

namespace vextrel {

FileTracer::~FileTracer() { delete pending_.load(std::memory_order_relaxed); }

template <typename Use>
auto FileTracer::WithCurrentWriter(Use&& use) {
    const ReadGuard guard;
    return use(current_.load(std::memory_order_seq_cst));
}

void FileTracer::Write(char* line, int32_t length) {
    WithCurrentWriter([&](TraceFileSink* writer) {
        return writer != nullptr ? writer->Write(line, static_cast<uint64_t>(static_cast<int64_t>(length))) : 0;
    });
}

std::string_view FileTracer::PrepareLine(const char* line, int32_t length, char* scratch, size_t scratchSize) {
    return WithCurrentWriter([&](TraceFileSink* writer) {
        return writer != nullptr
                   ? writer->Prepared(line, static_cast<uint64_t>(static_cast<int64_t>(length)), scratch, scratchSize)
                   : std::string_view();
    });
}

void FileTracer::WriteBlock(const char* text, size_t length, bool onlyMissing) {
    WithCurrentWriter(
        [&](TraceFileSink* writer) { return writer != nullptr ? writer->WriteBlock(text, length, onlyMissing) : 0; });
}

void FileTracer::WriteMissingPart(const char* line, int32_t length) {
    WithCurrentWriter([&](TraceFileSink* writer) {
        return writer != nullptr ? writer->WriteMissingPart(line, static_cast<uint64_t>(static_cast<int64_t>(length)))
                                 : 0;
    });
}

void FileTracer::BypassStream() {
    WithCurrentWriter([](TraceFileSink* writer) {
        if (writer != nullptr) writer->BypassStream();
        return 0;
    });
}

int FileTracer::Flush() {
    return WithCurrentWriter([](TraceFileSink* writer) { return writer != nullptr ? writer->Flush() : 0; });
}

std::string FileTracer::GetPath() const {
    std::lock_guard<std::mutex> guard(shareLock_);
    return writer_ ? writer_->GetPath() : "";
}

void FileTracer::CloseTraceFile() { SetWriter(nullptr); }

std::shared_ptr<TraceFileSink> FileTracer::Writer() const {
    std::lock_guard<std::mutex> guard(shareLock_);
    return writer_;
}

void FileTracer::SetWriter(std::shared_ptr<TraceFileSink> writer) {
    auto released = std::make_unique<std::shared_ptr<TraceFileSink>>();
    {
        std::lock_guard<std::mutex> guard(shareLock_);
        *released = std::move(writer_);
        writer_ = std::move(writer);
        current_.store(writer_.get(), std::memory_order_seq_cst);
    }
    // A write that read the old pointer may still be running: the share goes once it has left.
    if (*released != nullptr) Retire(released.release());
}

void FileTracer::TakeSettingsFrom(const FileTracer& other) {
    if (&other == this) return;
    CopyBaseFrom(other);
    append = other.append;
    logFileLimit = other.logFileLimit;
}

void FileTracer::ScheduleSwitch(std::unique_ptr<FileSwitch> next) {
    std::unique_ptr<FileSwitch> dropped;
    {
        std::lock_guard<std::mutex> guard(shareLock_);
        dropped.reset(pending_.exchange(next.release(), std::memory_order_acq_rel));
    }
    if (dropped == nullptr || dropped->writer == nullptr) return;
    // Only the switching writer thread writes into the new file, and it never took this one.
    const std::string path = dropped->writer->GetPath();
    dropped.reset();  // closes the file
    if (!append && !path.empty()) platform::DeleteFilePath(path.c_str());
}

std::unique_ptr<FileSwitch> FileTracer::TakeSwitchDue(uint32_t readIndex) {
    FileSwitch* next = pending_.load(std::memory_order_acquire);
    // The read position runs ahead of firstIndex once it passed it, as a signed distance.
    if (next == nullptr) return nullptr;
    std::lock_guard<std::mutex> guard(shareLock_);
    next = pending_.load(std::memory_order_acquire);
    if (next == nullptr || static_cast<int32_t>(readIndex - next->firstIndex) < 0) return nullptr;
    return std::unique_ptr<FileSwitch>(pending_.exchange(nullptr, std::memory_order_acq_rel));
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
    if (std::shared_ptr<TraceFileSink> shared = other.Writer()) SetWriter(std::move(shared));
}

}  // namespace vextrel
