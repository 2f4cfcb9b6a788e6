// The three output channels of a configuration: console, trace file and trace clients. Each tracer
// holds its own PriorityTable and activity state; the trace entry routines ask IsActive, the writer
// thread hands finished lines to Write.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/priority_table.h"
#include "core/trace_file_sink.h"
#include "include/vextrel.h"

namespace vextrel {

// Whether this thread is inside a trace client's OnTraceLine (a writer thread handing it a line).
bool InsideClientCallback();

// 0 = not configured (no facility set yet), 1 = active, 255 = disabled by configuration.
using TracerState = uint8_t;
constexpr TracerState kTracerNotConfigured = 0;
constexpr TracerState kTracerActive = 1;
constexpr TracerState kTracerDisabled = 255;

class BaseTracer {
public:
    BaseTracer() : table_(1) {}
    virtual ~BaseTracer() = default;
    BaseTracer(const BaseTracer&) = delete;
    BaseTracer& operator=(const BaseTracer&) = delete;

    // Writes one formatted line ending in a newline; `length` counts the newline. May change the
    // line in place.
    virtual void Write(char* line, int32_t length) = 0;

    // Whether this tracer takes a message of facility `id` (below kFacilityIdLimit) at `priority`:
    // only an active tracer does, and only at or above its table entry. The concrete tracers are
    // final, so calls on a configuration's members are resolved without the virtual table.
    virtual bool IsActive(uint32_t id, uint32_t priority) const {
        return state_.load(std::memory_order_relaxed) == kTracerActive && table_.Passes(id, priority);
    }

    // Sets the entry of `id`, makes a not-configured tracer active and records `id` as configured.
    void SetFacilityPriority(uint32_t id, uint32_t priority);
    // SetFacilityPriority of every id of the set (each below kFacilityIdLimit) at once.
    void SetFacilityPriorities(const LevelPages& ids, uint32_t priority);

    // Lowers this tracer's entries to what one configuration text sets for it, as MergeBaseFrom
    // lowers them to the table of a configuration built from that text: with `all` (0: none) at
    // every id of `ids`, except the ids of `overrides` (ascending, each once, each below
    // kFacilityIdLimit), which stand at their own priority. Every id lowered counts as configured;
    // the state is left as it is.
    void LowerToText(const LevelPages& ids, uint32_t all, const std::vector<std::pair<uint32_t, uint32_t>>& overrides);

    TracerState State() const { return state_.load(std::memory_order_relaxed); }
    void SetState(TracerState state) { state_.store(state, std::memory_order_relaxed); }
    PriorityTable& Table() { return table_; }
    const PriorityTable& Table() const { return table_; }
    // The ids set so far, ascending, each once.
    const std::vector<uint32_t>& ConfiguredFacilities() const { return configured_; }

    // Base merge: takes the other's state when ours is 0 or the other's is 255, lowers every entry
    // to the other's, and adds the other's configured facilities.
    void MergeBaseFrom(const BaseTracer& other);

    // Base copy: takes the other's state, table and configured set (nothing when it is this one).
    void CopyBaseFrom(const BaseTracer& other);

    // Whether state, all entries and configured sets are equal (always true for the same object).
    bool SameBaseAs(const BaseTracer& other) const;

protected:
    // Adds an ascending run of ids to the configured set.
    void AddConfigured(const uint32_t* first, const uint32_t* last);

    std::atomic<TracerState> state_{kTracerNotConfigured};
    std::vector<uint32_t> configured_;
    PriorityTable table_;

private:
    // The LevelPages set whose ids LowerToText last added to the configured set (0: none): the next
    // text with a VXF_ALL line adds nothing new.
    uint64_t allConfigured_ = 0;
};

// Standard output.
class ConsoleTracer final : public BaseTracer {
public:
    // Replaces the line's final newline with a terminator and writes it with puts (which adds one).
    void Write(char* line, int32_t length) override;
};

// A trace file that takes over from a configuration's current one once its writer reaches a
// position in the ring: every record reserved before it goes to the old file, then the old file
// gets its closing line, and the new one begins with its header.
struct FileSwitch {
    // Ring index of the first record that belongs to the new file.
    uint32_t firstIndex = 0;
    // The new file, opened; null when the file tracer goes on without a file.
    std::shared_ptr<TraceFileSink> writer;
    // Lines the new file begins with.
    std::vector<std::string> header;
};

// The trace file, written through a TraceFileSink (the FileWriter of output/) shared with other
// configurations that merged into this one. Lines are written without a lock: a writing thread reads
// the current sink under a
// ReadGuard; replacing it publishes the new one and retires the old share, which closes the file
// when it was the last.
class FileTracer final : public BaseTracer {
public:
    FileTracer() = default;
    ~FileTracer() override;

    // Passes the line to the sink when there is one (any thread).
    void Write(char* line, int32_t length) override;

    // The line as the current FileWriter puts it into the file (FileWriter::Prepared), in `scratch`
    // or in `line`; empty without a file.
    std::string_view PrepareLine(const char* line, int32_t length, char* scratch, size_t scratchSize);

    // Writes prepared lines with one write and flushes (FileWriter::WriteBlock); with `onlyMissing`
    // less what the file already ends with.
    void WriteBlock(const char* text, size_t length, bool onlyMissing = false);

    // The sink's WriteMissingPart, for the line a writer thread ended by the system was
    // writing.
    void WriteMissingPart(const char* line, int32_t length);

    // Makes the sink bypass its stream (TraceFileSink::BypassStream): at process exit, after the
    // system ended a writer thread that may hold the stream's lock.
    void BypassStream();

    // The sink's flush result, or 0 without a file.
    int Flush();

    // A copy of the path of the file lines go to now (not one scheduled to take over), or "" without
    // one.
    std::string GetPath() const;

    // Releases this tracer's share of the file; the last share closes it once no reader holds it.
    void CloseTraceFile();

    // Takes the other's base part, append flag and log file limit; the file and the counter value
    // stay.
    void TakeSettingsFrom(const FileTracer& other);

    // Different base parts, append flags or log file limits.
    bool operator!=(const FileTracer& other) const;

    // File merge: base merge, unsigned minimum of the limits, either append flag, and a share of the
    // other's sink when it has one.
    void MergeFrom(const FileTracer& other);

    bool HasWriter() const { return current_.load(std::memory_order_seq_cst) != nullptr; }
    std::shared_ptr<TraceFileSink> Writer() const;

    // Makes `writer` the one lines go to; the previous share is retired.
    void SetWriter(std::shared_ptr<TraceFileSink> writer);

    // Hands the tracer a file that takes over at a ring position (see FileSwitch); a switch handed
    // over earlier and not taken yet is dropped, and its file, into which nothing was written yet,
    // is deleted (unless it is appended to).
    void ScheduleSwitch(std::unique_ptr<FileSwitch> next);
    // The scheduled switch once the writer's read position `readIndex` has reached it, else null.
    std::unique_ptr<FileSwitch> TakeSwitchDue(uint32_t readIndex);

    bool append = false;
    int32_t logFileLimit = -1;
    uint32_t counterValue = 0;

private:
    // Runs `use` on the current sink (or null) under a ReadGuard.
    template <typename Use>
    auto WithCurrentWriter(Use&& use);

    // Guards writer_ between the threads that replace it (start, restart, reload, merges, the
    // writer thread at a switch).
    mutable std::mutex shareLock_;
    std::shared_ptr<TraceFileSink> writer_;
    // writer_.get(), as the writing threads read it.
    std::atomic<TraceFileSink*> current_{nullptr};
    std::atomic<FileSwitch*> pending_{nullptr};
};

// The host's trace clients, sorted by pointer value without repeats, in a list that is replaced
// whole on every change (the replaced list is retired), so the writer thread calls clients without
// a lock and no change ever waits for a client's callback.
class ClientTracer final : public BaseTracer {
public:
    ClientTracer() = default;
    ~ClientTracer() override;

    // Calls every client's OnTraceLine, in list order; a client removed meanwhile is skipped. A
    // client whose call throws is removed (counted for TakeThrowingClients); the others go on.
    void Write(char* line, int32_t length) override;

    // How many clients were removed for throwing since the last call.
    uint32_t TakeThrowingClients() { return throwing_.exchange(0, std::memory_order_acq_rel); }

    // The base test, and at least one client.
    bool IsActive(uint32_t id, uint32_t priority) const override {
        return clientCount_.load(std::memory_order_relaxed) != 0 && BaseTracer::IsActive(id, priority);
    }

    // Adds a client (once), making a not-configured tracer active.
    void AddClient(TraceClient* client);

    // Removes the client: no call to it begins once this returns. A call already running is waited
    // for until the counter reaches `deadlineTicks` at most. Nothing when it is absent.
    void RemoveClient(TraceClient* client, uint64_t deadlineTicks);

    // Removes every client: no call begins once this returns; one already running is not waited for.
    void RemoveAllClients();

    // Whether the client is in the list.
    bool HasClient(TraceClient* client) const;

    // Client merge: base merge and the union of both lists.
    void MergeFrom(ClientTracer& other);

    // Base copy, then this list becomes a copy of the other's.
    void AssignFrom(ClientTracer& other);

    // Whether base parts and lists are equal.
    bool SameAs(ClientTracer& other);

    std::vector<TraceClient*> Clients() const;

private:
    struct ClientList {
        std::vector<TraceClient*> clients;
    };
    // Sorts, removes repeats and publishes `clients`; under lock_.
    void PublishLocked(std::vector<TraceClient*> clients);

    // Serialises changes of the list (control side only; never held while a client is called).
    mutable std::mutex lock_;
    std::atomic<const ClientList*> list_{nullptr};
    std::atomic<uint32_t> clientCount_{0};
    // The client the writer thread is calling or about to call, else null.
    std::atomic<TraceClient*> calling_{nullptr};
    std::atomic<uint32_t> throwing_{0};
};

}  // namespace vextrel
