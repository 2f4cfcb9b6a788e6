#include "tools/trace_file_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

namespace vextrel::tool {
namespace {

constexpr std::string_view kSessionTitle = "*** Orbanex Session Trace for:";
constexpr std::string_view kRefreshTitle = "*** Refreshing session trace for:";
constexpr std::string_view kClosingLine = " *** Vextrel Log Complete ***";
constexpr std::string_view kLostPrefix = "!!!***!!! ";
constexpr std::string_view kLostFirstLine = "!!!***!!! The trace writer couldn't keep up";
constexpr std::string_view kColumnTitle = "Time(s),Tid,Facility : Debug Message";
constexpr size_t kRuleLength = 75;
constexpr size_t kBlankLinesBeforeTitle = 2;  // a header and the closing line each start with two

// Compared in place: the prefixes are constants, so this becomes a few loads, no library call.
inline bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::memcmp(text.data(), prefix.data(), prefix.size()) == 0;
}

// The value of a "*** Label:\t\tvalue" header line, tabs skipped; nullopt for another label.
std::optional<std::string_view> ValueAfter(std::string_view line, std::string_view label) {
    if (!StartsWith(line, label)) return std::nullopt;
    line.remove_prefix(label.size());
    while (!line.empty() && line.front() == '\t') line.remove_prefix(1);
    return line;
}

// The value of each byte as a hexadecimal digit, -1 for other bytes.
constexpr auto kDigitValues = [] {
    std::array<int8_t, 256> values{};
    values.fill(-1);
    for (int c = '0'; c <= '9'; ++c) values[static_cast<size_t>(c)] = static_cast<int8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) values[static_cast<size_t>(c)] = static_cast<int8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) values[static_cast<size_t>(c)] = static_cast<int8_t>(c - 'A' + 10);
    return values;
}();

// Reads up to `maxDigits` digits of `base` (10 or 16) from the front of `text`; at least
// `minDigits`, and not followed by a further hexadecimal digit when `maxDigits` were read.
template <int base>
std::optional<uint64_t> TakeNumber(std::string_view& text, size_t minDigits, size_t maxDigits) {
    uint64_t value = 0;
    size_t count = 0;
    const size_t limit = std::min(text.size(), maxDigits);
    const char* digits = text.data();
    while (count < limit) {
        unsigned digit;
        if constexpr (base == 10) {
            digit = static_cast<unsigned>(static_cast<unsigned char>(digits[count])) - '0';
            if (digit >= 10) break;
        } else {
            const int known = kDigitValues[static_cast<unsigned char>(digits[count])];
            if (known < 0) break;
            digit = static_cast<unsigned>(known);
        }
        value = value * static_cast<uint64_t>(base) + digit;
        ++count;
    }
    if (count < minDigits ||
        (count < text.size() && count == maxDigits && kDigitValues[static_cast<unsigned char>(text[count])] >= 0))
        return std::nullopt;
    text.remove_prefix(count);
    return value;
}

bool TakeChar(std::string_view& text, char c) {
    if (text.empty() || text.front() != c) return false;
    text.remove_prefix(1);
    return true;
}

// "%d/%d/%d, %d:%d:%d UTC (%.6f s)"
void ReadStartingTimestamp(std::string_view value, SessionHeader& session) {
    UtcTime t;
    int fields[6];
    const char separators[6] = {'/', '/', ',', ':', ':', ' '};
    for (int i = 0; i < 6; ++i) {
        if (i == 3) TakeChar(value, ' ');
        const auto number = TakeNumber<10>(value, 1, 9);
        if (!number || !TakeChar(value, separators[i])) return;
        fields[i] = static_cast<int>(*number);
    }
    t.month = fields[0], t.day = fields[1], t.year = fields[2], t.hour = fields[3], t.minute = fields[4],
    t.second = fields[5];
    session.startUtc = t;
    if (!StartsWith(value, "UTC (")) return;
    value.remove_prefix(5);
    const auto seconds = TakeNumber<10>(value, 1, 19);
    if (!seconds || !TakeChar(value, '.')) return;
    const auto micro = TakeNumber<10>(value, 6, 6);
    if (micro) session.startMicroseconds = *seconds * 1000000u + *micro;
}

// "path (pid=0x1a2b, version=1.0.0)"
void ReadTitle(std::string_view value, SessionHeader& session) {
    const size_t at = value.rfind(" (pid=0x");
    if (at == std::string_view::npos) {
        session.executablePath = std::string(value);
        return;
    }
    session.executablePath = std::string(value.substr(0, at));
    std::string_view rest = value.substr(at + 8);
    if (const auto pid = TakeNumber<16>(rest, 1, 8)) session.processId = static_cast<uint32_t>(*pid);
    if (StartsWith(rest, ", version=") && !rest.empty() && rest.back() == ')') {
        session.version = std::string(rest.substr(10, rest.size() - 11));
    }
}

// "NAME@PRIORITY(hex)"
bool ReadFacilityLine(std::string_view line, SessionHeader& session) {
    const size_t at = line.rfind('@');
    const size_t open = line.rfind('(');
    if (at == std::string_view::npos || at == 0 || open == std::string_view::npos || open < at || line.back() != ')')
        return false;
    std::string_view id = line.substr(open + 1, line.size() - open - 2);
    const auto value = TakeNumber<16>(id, 1, 8);
    if (!value || !id.empty()) return false;
    session.facilities.push_back({std::string(line.substr(0, at)), std::string(line.substr(at + 1, open - at - 1)),
                                  static_cast<uint32_t>(*value)});
    return true;
}

int64_t DaysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int& year, int& month, int& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
}

}  // namespace

namespace {

// The fields of a record line, read before the line is known to be one.
struct RecordFields {
    uint64_t microseconds = 0;
    uint32_t threadId = 0, facilityId = 0;
    std::string_view name;
    size_t textStart = 0;
};

// Reads up to `maxDigits` + 1 hexadecimal digits at `p`: their count, their value in `value`.
size_t HexRun(const char*& p, const char* end, size_t maxDigits, uint64_t& value) {
    size_t count = 0;
    value = 0;
    for (; p < end && count <= maxDigits; ++p, ++count) {
        const int digit = kDigitValues[static_cast<unsigned char>(*p)];
        if (digit < 0) break;
        value = value << 4 | static_cast<unsigned>(digit);
    }
    return count;
}

// "SECONDS.MICROS,THREAD,FACILITY" and an optional ",nm=NAME" before ": ", read by hand: record
// lines are nearly all of a trace file.
bool ReadRecordFields(std::string_view line, RecordFields& fields) {
    const char* p = line.data();
    const char* const end = p + line.size();
    uint64_t seconds = 0;
    const char* const secondsStart = p;
    for (unsigned digit; p < end && (digit = static_cast<unsigned>(static_cast<unsigned char>(*p)) - '0') < 10; ++p)
        seconds = seconds * 10 + digit;
    if (p == secondsStart || p - secondsStart > 19 || end - p < 8 || *p != '.') return false;
    // Six decimals, each checked, then the comma.
    uint64_t micro = 0;
    unsigned bad = 0;
    for (int i = 1; i <= 6; ++i) {
        const unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(p[i])) - '0';
        bad |= digit >= 10;
        micro = micro * 10 + digit;
    }
    if (bad || p[7] != ',') return false;
    p += 8;
    uint64_t thread = 0, facility = 0;
    const size_t threadDigits = HexRun(p, end, 8, thread);
    if (threadDigits < 5 || threadDigits > 8 || p == end || *p++ != ',') return false;
    const size_t facilityDigits = HexRun(p, end, 6, facility);
    if (facilityDigits < 4 || facilityDigits > 6) return false;
    std::string_view rest(p, static_cast<size_t>(end - p));
    fields.microseconds = seconds * 1000000u + micro;
    fields.threadId = static_cast<uint32_t>(thread);
    fields.facilityId = static_cast<uint32_t>(facility);
    fields.name = {};
    if (StartsWith(rest, ",nm=")) {
        // The name may hold ':' and ','; the message starts after the first ": " (a name that
        // itself holds ": " cannot be told from the message and is cut there).
        rest.remove_prefix(4);
        const size_t nameEnd = rest.find(": ");
        if (nameEnd == std::string_view::npos) return false;
        fields.name = rest.substr(0, nameEnd);
        rest.remove_prefix(nameEnd);
    }
    if (!StartsWith(rest, ": ")) return false;
    rest.remove_prefix(2);
    fields.textStart = line.size() - rest.size();
    return true;
}

void FillRecord(std::string_view line, const RecordFields& fields, TraceEntry& record, bool borrow) {
    record.kind = EntryKind::kRecord;
    record.microseconds = fields.microseconds;
    record.threadId = fields.threadId;
    record.facilityId = fields.facilityId;
    if (fields.name.empty()) {
        record.name.clear();  // most records have no name: no library call for them
    } else {
        record.name.assign(fields.name);
    }
    record.elapsedMicroseconds.reset();
    record.session.reset();
    if (borrow) {
        record.BorrowLines(line);
    } else {
        record.OwnLines().assign(line);
    }
    record.textStart = fields.textStart;
    record.textEnd = line.size();
}

}  // namespace

bool ParseRecordLine(std::string_view line, TraceEntry& record) {
    RecordFields fields;
    if (!ReadRecordFields(line, fields)) return false;
    FillRecord(line, fields, record, false);
    return true;
}

namespace {

constexpr uint64_t kByteOnes = 0x0101010101010101u, kByteHighs = 0x8080808080808080u;

// The high bit of each byte of `word` that is not an ASCII digit.
uint64_t NotDigits(uint64_t word) {
    const uint64_t offset = word ^ kByteOnes * '0';  // digits become 0 to 9
    return (((offset & ~kByteHighs) + kByteOnes * (0x80 - 10)) | offset) & kByteHighs;
}

// The value of up to 8 digits held as 0 to 9 in the high bytes of `digits` (the first digit in the
// lowest of them), zero bytes below them.
uint64_t DigitsValue(uint64_t digits) {
    digits = (digits * 10 + (digits >> 8)) & 0x00FF00FF00FF00FFu;                 // pairs
    digits = (digits * ((uint64_t{100} << 16) + 1) >> 16) & 0x0000FFFF0000FFFFu;  // fours
    return (digits * ((uint64_t{10000} << 32) + 1)) >> 32;
}

// The elapsed suffix of a text too short for reading it from one word, or with many digits.
void SplitLongElapsed(TraceEntry& record, std::string_view text, size_t digitsEnd) {
    size_t start = digitsEnd;
    while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9') --start;
    if (start == digitsEnd || start < 2 || text.substr(start - 2, 2) != " (" || digitsEnd - start > 19) return;
    uint64_t value = 0;
    for (size_t i = start; i < digitsEnd; ++i) value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    record.elapsedMicroseconds = value;
    record.textEnd = record.textStart + start - 2;
}

}  // namespace

void SplitElapsedSuffix(TraceEntry& record) {
    const std::string_view text = record.Text();
    if (text.size() < 6) return;
    const size_t digitsEnd = text.size() - 4;
    uint32_t unit;
    std::memcpy(&unit, text.data() + digitsEnd, 4);
    static constexpr uint32_t kUnit = ' ' | 'u' << 8 | 's' << 16 | uint32_t{')'} << 24;
    if (digitsEnd >= 8) {
        // Up to 6 digits and the " (" before them, from the word before the unit, decided without
        // a branch: timed and untimed records come mixed with no pattern.
        uint64_t word;
        std::memcpy(&word, text.data() + digitsEnd - 8, 8);
        const size_t count = static_cast<size_t>(std::countl_zero(NotDigits(word))) / 8;
        if (unit == kUnit && count > 6) return SplitLongElapsed(record, text, digitsEnd);
        const size_t shift = 8 * std::min<size_t>(count, 6);
        // The two bytes before the digits are the top two of the word moved up by them.
        const bool opens = (word << shift >> 48) == (' ' | '(' << 8);
        const bool timed = (unit == kUnit) & (count != 0) & opens;  // no short cut: no branch
        const uint64_t digits = (word ^ kByteOnes * '0') & ~(~uint64_t{0} >> shift);
        const size_t textEnd = record.textStart + digitsEnd - count - 2;
        record.elapsedMicroseconds = timed ? std::optional<uint64_t>(DigitsValue(digits)) : record.elapsedMicroseconds;
        record.textEnd = timed ? textEnd : record.textEnd;
        return;
    }
    if (unit == kUnit) SplitLongElapsed(record, text, digitsEnd);
}

const SessionHeader* DatingSessionOf(const std::vector<SessionHeader>& sessions, const TraceEntry& entry) {
    if (!entry.session) return nullptr;
    for (size_t index = *entry.session + 1; index-- > 0;) {
        if (sessions[index].startUtc && sessions[index].startMicroseconds) return &sessions[index];
    }
    return nullptr;
}

std::string FormatSeconds(uint64_t microseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%llu.%06llu", static_cast<unsigned long long>(microseconds / 1000000u),
                  static_cast<unsigned long long>(microseconds % 1000000u));
    return text;
}

std::optional<int64_t> WallMicrosecondsOf(const SessionHeader& session, uint64_t microseconds) {
    if (!session.startUtc || !session.startMicroseconds) return std::nullopt;
    const UtcTime& t = *session.startUtc;
    if (t.year < 0 || t.year > 9999) return std::nullopt;  // a garbled header names no real time
    const int64_t startSeconds =
        DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
    // A garbled header can name any year: times that do not fit 64 bits have no wall clock.
    int64_t wall = 0;
    if (__builtin_mul_overflow(startSeconds, int64_t{1000000}, &wall) ||
        __builtin_add_overflow(wall, static_cast<int64_t>(microseconds % (uint64_t{1} << 62)), &wall) ||
        __builtin_sub_overflow(wall, static_cast<int64_t>(*session.startMicroseconds % (uint64_t{1} << 62)), &wall)) {
        return std::nullopt;
    }
    return wall;
}

std::optional<std::string> WallTimeOf(const SessionHeader& session, uint64_t microseconds) {
    const std::optional<int64_t> wallTime = WallMicrosecondsOf(session, microseconds);
    if (!wallTime) return std::nullopt;
    const int64_t wall = *wallTime;
    const int64_t seconds = wall >= 0 ? wall / 1000000 : (wall - 999999) / 1000000;
    const int64_t micro = wall - seconds * 1000000;
    const int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const int64_t ofDay = seconds - days * 86400;
    int year, month, day;
    CivilFromDays(days, year, month, day);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", year, month, day,
                  static_cast<int>(ofDay / 3600), static_cast<int>(ofDay / 60 % 60), static_cast<int>(ofDay % 60),
                  static_cast<int>(micro));
    return std::string(text);
}

void TraceFileReader::Feed(std::string_view text) {
    while (!text.empty()) {
        const size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            partial_.append(text);
            break;
        }
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        lineInFedText_ = partial_.empty();
        if (!lineInFedText_) {
            partial_.append(line);
            line = partial_;
        }
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
            carriageReturns_ = true;
        }
        ReadLine(line);
        partial_.clear();
    }
    // The fed text may be replaced once this returns: the entry still open keeps its own copy.
    OwnOpenEntry();
}

void TraceFileReader::OwnOpenEntry() {
    if (open_) Open().OwnLines();
}

void TraceFileReader::Finish() {
    if (!partial_.empty()) {
        endsMidLine_ = true;
        lineInFedText_ = false;
        if (partial_.back() == '\r') partial_.pop_back();  // cut between the two characters of a line end
        ReadLine(partial_);
        partial_.clear();
    }
    pendingBlanks_ = 0;  // blank lines at the end belong to nothing that was finished
    Complete();
}

std::vector<TraceEntry> TraceFileReader::TakeEntries() {
    for (size_t i = 0; i < doneCount_; ++i) done_[i].OwnLines();
    std::vector<TraceEntry> entries(std::make_move_iterator(done_.begin()),
                                    std::make_move_iterator(done_.begin() + static_cast<std::ptrdiff_t>(doneCount_)));
    Recycle();
    return entries;
}

void TraceFileReader::Recycle() {
    // The entry still being read moves to the front, before the storage to reuse.
    if (open_ && doneCount_ > 0) std::swap(done_[0], done_[doneCount_]);
    doneCount_ = 0;
}

namespace {

// An entry made empty with its storage kept, for the next entry read.
void Cleared(TraceEntry& entry) {
    entry.kind = EntryKind::kOther;
    entry.line = 0;
    entry.microseconds = 0;
    entry.threadId = entry.facilityId = 0;
    entry.name.clear();
    entry.elapsedMicroseconds.reset();
    entry.session.reset();
    entry.ClearLines();
    entry.textStart = entry.textEnd = 0;
}

}  // namespace

TraceEntry& TraceFileReader::FreeSlot() {
    if (doneCount_ == done_.size()) done_.emplace_back();
    return done_[doneCount_];
}

void TraceFileReader::Complete() {
    if (!open_) return;
    TraceEntry& entry = Open();
    if (entry.kind == EntryKind::kRecord) {
        SplitElapsedSuffix(entry);
        lastMicroseconds_ = entry.microseconds;
    }
    ++doneCount_;
    open_ = false;
}

void TraceFileReader::ClaimBlankLines(size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (!open_) {
            TraceEntry& blank = FreeSlot();
            Cleared(blank);
            blank.line = lineNumber_ - pendingBlanks_ + i;
            blank.microseconds = lastMicroseconds_;
            ++doneCount_;
            continue;
        }
        std::string& lines = Open().OwnLines();
        lines += '\n';
        Open().textEnd = lines.size();
    }
    pendingBlanks_ -= count;
}

void TraceFileReader::StartEntry(EntryKind kind, std::string_view line) {
    const size_t ownBlanks = pendingBlanks_;
    Complete();
    TraceEntry& entry = FreeSlot();
    Cleared(entry);
    open_ = true;
    entry.kind = kind;
    entry.line = lineNumber_ - ownBlanks;
    entry.microseconds = lastMicroseconds_;
    if (!sessions_.empty()) entry.session = sessions_.size() - 1;
    std::string& lines = entry.OwnLines();
    lines.assign(ownBlanks, '\n');
    lines += line;
    pendingBlanks_ = 0;
}

// Adds a line to the open entry; a record's message goes on over it.
void TraceFileReader::AppendLine(std::string_view line) {
    TraceEntry& entry = Open();
    std::string& lines = entry.OwnLines();
    lines += '\n';
    lines += line;
    entry.textEnd = lines.size();
}

void TraceFileReader::StartHeader(std::string_view line, bool refresh) {
    ClaimBlankLines(pendingBlanks_ > kBlankLinesBeforeTitle ? pendingBlanks_ - kBlankLinesBeforeTitle : 0);
    sessions_.emplace_back();
    SessionHeader& session = sessions_.back();
    session.refresh = refresh;
    session.line = lineNumber_;
    ReadTitle(*ValueAfter(line, refresh ? kRefreshTitle : kSessionTitle), session);
    StartEntry(EntryKind::kHeader, line);
    inHeader_ = true;
}

bool TraceFileReader::ReadHeaderLine(std::string_view line) {
    SessionHeader& session = sessions_.back();
    bool known = true;
    if (auto value = ValueAfter(line, "*** Build Details:")) {
        session.buildDetails = std::string(*value);
    } else if (auto start = ValueAfter(line, "*** Starting Timestamp:")) {
        ReadStartingTimestamp(*start, session);
    } else if (auto system = ValueAfter(line, "*** System Details:")) {
        session.systemDetails = std::string(*system);
    } else if (auto date = ValueAfter(line, "*** Build Date:")) {
        session.buildDate = std::string(*date);
    } else if (auto release = ValueAfter(line, "*** Expected Release Date:")) {
        session.releaseDate = std::string(*release);
    } else if (auto config = ValueAfter(line, "*** Vextrel Config File:")) {
        session.configFiles.emplace_back(*config);
    } else if (auto machine = ValueAfter(line, "*** Machine UUID:")) {
        session.machineId = std::string(*machine);
    } else if (line == kColumnTitle || line == std::string(kRuleLength, '-') ||
               StartsWith(line, "*** Facilities to trace:")) {
    } else {
        known = ReadFacilityLine(line, session);
    }
    if (!known) return false;
    const size_t blanksBefore = line == kColumnTitle ? 1 : 0;
    ClaimBlankLines(pendingBlanks_ > blanksBefore ? pendingBlanks_ - blanksBefore : 0);
    if (!open_ || Open().kind != EntryKind::kHeader) {
        // A record written while the header was being written came between its lines.
        StartEntry(EntryKind::kHeader, line);
    } else {
        Open().OwnLines().append(pendingBlanks_, '\n');
        AppendLine(line);
        pendingBlanks_ = 0;
    }
    if (line == std::string(kRuleLength, '-')) {
        session.complete = true;
        inHeader_ = false;
        Complete();
    }
    return true;
}

void TraceFileReader::ReadLine(std::string_view line) {
    ++lineNumber_;
    if (line.empty()) {
        ++pendingBlanks_;
        return;
    }
    // A trace file's first line is a header's title or a record.
    const bool firstLine = !sawLine_;
    sawLine_ = true;
    // Record lines, by far the most, start with a digit; no other form does.
    RecordFields fields;
    if (line[0] >= '0' && line[0] <= '9' && ReadRecordFields(line, fields)) {
        traceForm_ |= firstLine;
        ClaimBlankLines(pendingBlanks_);
        Complete();
        TraceEntry& record = FreeSlot();
        FillRecord(line, fields, record, lineInFedText_);
        record.line = lineNumber_;
        if (!sessions_.empty()) record.session = sessions_.size() - 1;
        open_ = true;
        return;
    }
    if (StartsWith(line, kSessionTitle) || StartsWith(line, kRefreshTitle)) {
        traceForm_ |= firstLine;
        StartHeader(line, StartsWith(line, kRefreshTitle));
        return;
    }
    if (line == kClosingLine) {
        ClaimBlankLines(pendingBlanks_ > kBlankLinesBeforeTitle ? pendingBlanks_ - kBlankLinesBeforeTitle : 0);
        inHeader_ = false;
        StartEntry(EntryKind::kClosing, line);
        Complete();
        return;
    }
    if (StartsWith(line, kLostPrefix)) {
        ClaimBlankLines(pendingBlanks_);
        if (open_ && Open().kind == EntryKind::kLostOutput && !StartsWith(line, kLostFirstLine)) {
            AppendLine(line);
        } else {
            StartEntry(EntryKind::kLostOutput, line);
        }
        return;
    }
    if (inHeader_ && !sessions_.empty() && ReadHeaderLine(line)) return;
    if (open_ && Open().kind == EntryKind::kRecord) {
        // A message that holds line ends continues on lines without a prefix.
        ClaimBlankLines(pendingBlanks_);
        AppendLine(line);
        return;
    }
    ClaimBlankLines(pendingBlanks_);
    StartEntry(EntryKind::kOther, line);
    Complete();
}

TraceFileContent ReadTraceText(std::string_view text) {
    TraceFileReader reader;
    reader.Feed(text);
    reader.Finish();
    TraceFileContent content;
    content.entries = reader.TakeEntries();
    content.sessions = reader.Sessions();
    content.closed = !content.entries.empty() && content.entries.back().kind == EntryKind::kClosing;
    content.endsMidLine = reader.EndsMidLine();
    content.carriageReturns = reader.CarriageReturns();
    return content;
}

}  // namespace vextrel::tool
