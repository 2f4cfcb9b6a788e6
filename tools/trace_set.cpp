#include "tools/trace_set.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace vextrel::tool {
namespace {

// Text is read in pieces of this size: large enough for few reads, small enough that many files
// open at once stay small.
constexpr size_t kPieceBytes = 64 * 1024;

}  // namespace

TraceStream::TraceStream(std::string path, Progress* progress) : path_(std::move(path)), progress_(progress) {
    file_ = std::fopen(path_.c_str(), "rb");
    if (file_ == nullptr) throw std::runtime_error("cannot read " + path_);
    std::error_code error;
    size_ = std::filesystem::file_size(path_, error);  // 64 bits on every system, unlike ftell
    if (error) size_ = 0;
    buffer_.resize(kPieceBytes);
    Refill();
    if (!reader_.SawTraceForm() && reader_.LinesRead() > 0) {
        std::fclose(file_);
        file_ = nullptr;
        throw std::runtime_error(path_ +
                                 " is not a trace file: its first line is neither a session header nor a record line");
    }
}

TraceStream::TraceStream(TraceStream&& other) noexcept
    : path_(std::move(other.path_)),
      progress_(other.progress_),
      file_(std::exchange(other.file_, nullptr)),
      size_(other.size_),
      buffer_(std::move(other.buffer_)),
      reader_(std::move(other.reader_)),
      next_(other.next_),
      finished_(other.finished_),
      lastKind_(other.lastKind_) {}

TraceStream::~TraceStream() {
    if (file_ != nullptr) std::fclose(file_);
}

bool TraceStream::Refill() {
    reader_.Recycle();
    next_ = 0;
    while (reader_.Completed().empty() && !finished_) {
        const size_t read = std::fread(buffer_.data(), 1, buffer_.size(), file_);
        if (progress_ != nullptr) progress_->Advance(read);
        if (read == 0) {
            reader_.Finish();
            finished_ = true;
        } else {
            reader_.Feed(std::string_view(buffer_.data(), read));
        }
    }
    return !reader_.Completed().empty();
}

const TraceEntry* TraceStream::Next() {
    if (next_ == reader_.Completed().size() && !Refill()) return nullptr;
    const TraceEntry* entry = &reader_.Completed()[next_++];
    lastKind_ = entry->kind;
    return entry;
}

TraceFiles::TraceFiles(const std::vector<std::string>& paths, bool quiet, uint64_t progressBytes)
    : progress_(quiet, progressBytes) {
    // The whole size is known before the first read, so the first progress line shows it.
    for (const std::string& path : paths) {
        std::error_code error;
        const uint64_t size = std::filesystem::file_size(path, error);
        progress_.AddTotal(error ? 0 : size);
    }
    streams_.reserve(paths.size());
    for (const std::string& path : paths) {
        streams_.emplace_back(path, &progress_);
        for (const SessionHeader& session : streams_.back().Sessions()) names_.Add(session);
    }
    heads_.assign(streams_.size(), nullptr);
    headPending_.assign(streams_.size(), true);
    headTimes_.assign(streams_.size(), UINT64_MAX);
    for (size_t file = 0; file < streams_.size(); ++file) {
        heads_[file] = streams_[file].Next();
        if (heads_[file] != nullptr) headTimes_[file] = heads_[file]->microseconds;
        if (streams_.size() > kScannedFiles) Push(file);
    }
}

void TraceFiles::Push(size_t file) {
    if (heads_[file] == nullptr) return;
    heap_.emplace_back(heads_[file]->microseconds, file);
    std::push_heap(heap_.begin(), heap_.end(), std::greater<>());
}

void TraceFiles::Learn(size_t file, const TraceEntry* entry) {
    if (entry != nullptr && entry->kind == EntryKind::kHeader && entry->session)
        names_.Add(streams_[file].Sessions()[*entry->session]);
}

// The file whose head was returned last stays on top of the heap until the next call: its next
// head then takes its place and sinks to where it belongs, one pass instead of a pop and a push.
TraceFiles::Merged TraceFiles::Next() {
    if (streams_.size() <= kScannedFiles) return NextByScan();
    if (advance_ != SIZE_MAX) {
        const TraceEntry* head = heads_[advance_] = streams_[advance_].Next();
        if (head == nullptr) {
            std::pop_heap(heap_.begin(), heap_.end(), std::greater<>());
            heap_.pop_back();
        } else {
            SinkTop(head->microseconds);
        }
        advance_ = SIZE_MAX;
    }
    if (heap_.empty()) return {streams_.size(), nullptr};
    advance_ = heap_.front().second;
    Learn(advance_, heads_[advance_]);
    return {advance_, heads_[advance_]};
}

// Which of a few files goes next changes from entry to entry without a pattern: comparing every
// head's time, with selects rather than branches, costs less than the mispredicted branches of a
// heap's sift.
TraceFiles::Merged TraceFiles::NextByScan() {
    if (advance_ != SIZE_MAX) {
        const TraceEntry* head = heads_[advance_] = streams_[advance_].Next();
        headTimes_[advance_] = head != nullptr ? head->microseconds : UINT64_MAX;
        advance_ = SIZE_MAX;
    }
    size_t first = SIZE_MAX;
    uint64_t firstTime = UINT64_MAX;
    for (size_t file = 0; file < headTimes_.size(); ++file) {
        const bool earlier = headTimes_[file] < firstTime;
        firstTime = earlier ? headTimes_[file] : firstTime;
        first = earlier ? file : first;
    }
    if (first == SIZE_MAX) {
        // Every head is at the largest time, or there is none.
        for (size_t file = 0; file < heads_.size() && first == SIZE_MAX; ++file) {
            if (heads_[file] != nullptr) first = file;
        }
        if (first == SIZE_MAX) return {streams_.size(), nullptr};
    }
    advance_ = first;
    Learn(first, heads_[first]);
    return {first, heads_[first]};
}

void TraceFiles::SinkTop(uint64_t time) {
    const std::pair<uint64_t, size_t> item(time, heap_.front().second);
    const size_t count = heap_.size();
    size_t at = 0;
    for (size_t child; (child = 2 * at + 1) < count; at = child) {
        if (child + 1 < count && heap_[child + 1] < heap_[child]) ++child;
        if (!(heap_[child] < item)) break;
        heap_[at] = heap_[child];
    }
    heap_[at] = item;
}

const TraceEntry* TraceFiles::NextOf(size_t file) {
    const TraceEntry* entry = headPending_[file] ? heads_[file] : streams_[file].Next();
    headPending_[file] = false;
    Learn(file, entry);
    return entry;
}

}  // namespace vextrel::tool
