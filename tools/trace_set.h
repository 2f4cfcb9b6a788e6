// Trace files read piece by piece, alone or several together on one time axis. Memory does not
// grow with the files: a file holds one piece of its text and the entries read from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/facility_names.h"
#include "tools/progress.h"
#include "tools/trace_file_reader.h"

namespace vextrel::tool {

// One trace file, read in order, one entry at a time.
class TraceStream {
public:
    // Opens the file and reads its first piece; throws std::runtime_error when it cannot be read
    // or when it holds text but neither a session header nor a record line at its start.
    explicit TraceStream(std::string path, Progress* progress = nullptr);
    TraceStream(TraceStream&&) noexcept;
    ~TraceStream();

    // The next entry, or null at the end of the file; valid until the next call.
    const TraceEntry* Next();

    const std::string& Path() const { return path_; }
    uint64_t Size() const { return size_; }
    // The header blocks read so far; entries refer to them by index.
    const std::vector<SessionHeader>& Sessions() const { return reader_.Sessions(); }
    // Known once Next has returned null.
    bool Closed() const { return lastKind_ == EntryKind::kClosing; }
    bool EndsMidLine() const { return reader_.EndsMidLine(); }

private:
    bool Refill();

    std::string path_;
    Progress* progress_;
    std::FILE* file_ = nullptr;
    uint64_t size_ = 0;
    std::vector<char> buffer_;
    TraceFileReader reader_;
    size_t next_ = 0;
    bool finished_ = false;
    std::optional<EntryKind> lastKind_;
};

// Opens every path (throwing as TraceStream does) with one progress line over all of them, shown
// when their sizes add up to more than `progressBytes`.
class TraceFiles {
public:
    TraceFiles(const std::vector<std::string>& paths, bool quiet, uint64_t progressBytes = Progress::kThresholdBytes);

    std::vector<TraceStream>& Streams() { return streams_; }
    // The facility names of the registry and of every header read so far: the first header of
    // each file at the start, later ones as Next passes them.
    const FacilityNames& Names() const { return names_; }

    // The next entry of all files by time, with the index of its file; file == size() at the
    // end. Each file keeps its own order (its records are written in the order they were queued,
    // which may differ slightly from their times); among the heads of the files the earliest goes
    // first, the earlier file on a tie. The entry stays valid until the next call.
    struct Merged {
        size_t file = 0;
        const TraceEntry* entry = nullptr;
    };
    Merged Next();

    // The entries of one file alone, in file order, keeping the names current.
    const TraceEntry* NextOf(size_t file);

    // Ends the progress line.
    void Done() { progress_.Finish(); }

private:
    // Up to this many files, the next entry is found by comparing the times of all heads; more
    // files go through a heap.
    static constexpr size_t kScannedFiles = 8;
    Merged NextByScan();
    void Learn(size_t file, const TraceEntry* entry);
    void Push(size_t file);       // puts the file's head, when it has one, in the heap
    void SinkTop(uint64_t time);  // gives the top of the heap a new time and restores the order

    Progress progress_;
    std::vector<TraceStream> streams_;
    FacilityNames names_;
    std::vector<const TraceEntry*> heads_;
    std::vector<uint64_t> headTimes_;  // the time of each file's head, UINT64_MAX when it has none
    std::vector<bool> headPending_;    // NextOf has not yet returned the head read at the start
    // The time and index of each file with a head, earliest on top (the lower index on a tie).
    std::vector<std::pair<uint64_t, size_t>> heap_;
    size_t advance_ = SIZE_MAX;  // the file whose head the last Next returned
};

}  // namespace vextrel::tool
