// Reads the text of a trace file into its parts: session header blocks, record lines (with the
// lines that continue a message), lost-output reports, the closing line and anything else. Pure:
// it works on text handed to it, line by line, so it reads a whole file as well as a file that is
// still growing; both LF and CR LF line ends are accepted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vextrel::tool {

// One "NAME@PRIORITY(id)" line of a header: a facility the file tracer traces, at which level.
struct HeaderFacility {
    std::string name;
    std::string priorityName;
    uint32_t id = 0;
};

// A UTC calendar time as the header prints it.
struct UtcTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// One header block: a full session header, or the short one written after a reload or refresh.
struct SessionHeader {
    bool refresh = false;
    size_t line = 0;  // 1-based line of the title
    std::string executablePath;
    uint32_t processId = 0;
    std::string version;
    std::string buildDetails;
    std::optional<UtcTime> startUtc;
    std::optional<uint64_t> startMicroseconds;  // the clock reading that goes with startUtc
    std::string systemDetails;
    std::string buildDate;
    std::string releaseDate;
    std::vector<std::string> configFiles;
    std::string machineId;
    std::vector<HeaderFacility> facilities;
    bool complete = false;  // the closing rule of hyphens was seen
};

enum class EntryKind {
    kRecord,      // a record line, with any lines that continue its message
    kHeader,      // the lines of one header block
    kLostOutput,  // the lines that report records lost because the writer fell behind
    kClosing,     // the closing line written when the configuration stopped
    kOther,       // a line of no known form outside a message (a quiet line, a cut line)
};

// One part of a trace file in file order.
struct TraceEntry {
    EntryKind kind = EntryKind::kOther;
    size_t line = 0;            // 1-based line where the entry starts
    uint64_t microseconds = 0;  // records: their time; others: the time of the record before (0 at first)
    uint32_t threadId = 0;
    uint32_t facilityId = 0;
    std::string name;                             // the configuration name, empty when none
    std::optional<uint64_t> elapsedMicroseconds;  // the "(N us)" of a timed record
    std::optional<size_t> session;                // the header block in force, index into sessions
    // Where a record's message lies in Lines(): from the first line's text after its fields, on
    // over the lines that continue it, to before the elapsed suffix.
    size_t textStart = 0;
    size_t textEnd = 0;

    // The entry's lines as in the file, each line end a '\n' (none after the last line), so an
    // entry of one empty line is "".
    std::string_view Lines() const { return borrowed_ != nullptr ? std::string_view(borrowed_, size_) : owned_; }
    // Makes the lines the entry's own copy (they may point into the text the reader was fed) and
    // returns them for appending.
    std::string& OwnLines() {
        if (borrowed_ != nullptr) {
            owned_.assign(borrowed_, size_);
            borrowed_ = nullptr;
        }
        return owned_;
    }
    // No lines, and no hold on text the reader was fed (which may be gone by now).
    void ClearLines() {
        borrowed_ = nullptr;
        owned_.clear();
    }
    // The lines are `text`, which must outlive the entry's use (no copy).
    void BorrowLines(std::string_view text) {
        borrowed_ = text.data();
        size_ = text.size();
    }

    // A record's message (lines joined with '\n'); other kinds: empty.
    std::string_view Text() const {
        if (kind != EntryKind::kRecord) return {};
        return Lines().substr(textStart, textEnd - textStart);
    }
    // Calls `each(line)` for every line of the entry.
    template <typename Each>
    void ForEachLine(Each&& each) const {
        std::string_view rest = Lines();
        for (size_t end; (end = rest.find('\n')) != std::string_view::npos; rest.remove_prefix(end + 1))
            each(rest.substr(0, end));
        each(rest);
    }

private:
    // A record of one line read from the text as it was fed points into that text; an entry of
    // several lines, or one still open when the text is replaced, has its own copy.
    const char* borrowed_ = nullptr;
    size_t size_ = 0;
    std::string owned_;
};

// Everything read from one file.
struct TraceFileContent {
    std::vector<SessionHeader> sessions;
    std::vector<TraceEntry> entries;
    bool closed = false;           // the last entry is the closing line
    bool endsMidLine = false;      // the text ended without a line end (a cut file, or one being written)
    bool carriageReturns = false;  // CR LF line ends were seen
};

// Reads trace text as it arrives. Entries come out once the next line shows that they are over
// (a record can still be continued until then), or when Finish is called.
class TraceFileReader {
public:
    // Takes the next piece of text; a line without its line end waits for the rest.
    void Feed(std::string_view text);
    // Ends the text: completes the pending line and entry.
    void Finish();
    // Moves out the entries completed so far, each with its own copy of its lines.
    std::vector<TraceEntry> TakeEntries();
    // The entries completed so far, without moving them: valid until Recycle, which lets the
    // reader reuse their storage for the next ones (no allocation per line once warm). Their lines
    // may point into the text fed since the last Recycle, which must stay as it is until then.
    std::span<const TraceEntry> Completed() const { return {done_.data(), doneCount_}; }
    void Recycle();
    // The header blocks read so far (entries refer to them by index).
    const std::vector<SessionHeader>& Sessions() const { return sessions_; }
    // True once a CR LF line end was seen.
    bool CarriageReturns() const { return carriageReturns_; }
    // True when Finish found the text ending inside a line.
    bool EndsMidLine() const { return endsMidLine_; }
    // True when the first line that is not blank is a header's title or a record line: the text
    // is a trace file's.
    bool SawTraceForm() const { return traceForm_; }
    // The number of lines read so far.
    size_t LinesRead() const { return lineNumber_; }

private:
    void ReadLine(std::string_view line);
    void StartEntry(EntryKind kind, std::string_view line);
    void Complete();
    bool ReadHeaderLine(std::string_view line);
    void ClaimBlankLines(size_t count);
    void StartHeader(std::string_view line, bool refresh);
    void AppendLine(std::string_view line);
    void OwnOpenEntry();

    std::string partial_;
    bool lineInFedText_ = false;  // the line being read lies in the text given to Feed, not in partial_
    size_t lineNumber_ = 0;
    size_t pendingBlanks_ = 0;
    bool inHeader_ = false;
    bool carriageReturns_ = false;
    bool endsMidLine_ = false;
    bool traceForm_ = false;
    bool sawLine_ = false;
    uint64_t lastMicroseconds_ = 0;
    // The entries read are kept in done_: the first doneCount_ are completed; when open_, the one
    // after them is the entry still being read; the rest are spare storage, reused as they come.
    bool open_ = false;
    TraceEntry& Open() { return done_[doneCount_]; }
    TraceEntry& FreeSlot();  // the storage after the completed entries, made when there is none
    std::vector<TraceEntry> done_;
    size_t doneCount_ = 0;
    std::vector<SessionHeader> sessions_;
};

// Reads a whole text at once.
TraceFileContent ReadTraceText(std::string_view text);

// Parses one record line (no line end) into `record`: false, with `record` unchanged, when the
// line has another form. The elapsed suffix is not split off here, since a message may continue
// on later lines.
bool ParseRecordLine(std::string_view line, TraceEntry& record);

// Splits a trailing " (N us)" off a record's text into its elapsed time.
void SplitElapsedSuffix(TraceEntry& record);

// The header block that dates an entry: the one in force, or the nearest earlier one of the file
// with a starting timestamp when that one is a refresh without it; null when there is none.
const SessionHeader* DatingSessionOf(const std::vector<SessionHeader>& sessions, const TraceEntry& entry);

// "seconds.micro" with six decimals, as in the file.
std::string FormatSeconds(uint64_t microseconds);

// The wall-clock time of a record time in microseconds since 1970 (UTC), from the session header
// that gives the starting timestamp; nullopt when the header has none.
std::optional<int64_t> WallMicrosecondsOf(const SessionHeader& session, uint64_t microseconds);

// The same as WallMicrosecondsOf, as ISO 8601 text with microseconds ("2026-12-06T03:09:14.000123Z").
std::optional<std::string> WallTimeOf(const SessionHeader& session, uint64_t microseconds);

}  // namespace vextrel::tool
