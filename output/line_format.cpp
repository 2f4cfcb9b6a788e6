// The writer formats every line itself instead of calling snprintf: the line is a handful of
// integers and two copied strings, and the printf machinery costs the writer more than the rest of
// its work on a line besides the file write.
#include "output/line_format.h"

#include <cstring>

#include "core/message_formatter.h"
#include "core/record_queue.h"
#include "core/trace_entry.h"

namespace vextrel {
namespace {

// Appends to a line and keeps it at most kLineCapacity - 1 characters long, as snprintf would.
class LineBuilder {
public:
    explicit LineBuilder(char (&line)[kLineCapacity]) : line_(line) {}

    void Append(const char* text, size_t length) {
        const size_t room = kLineCapacity - 1 - length_;
        const size_t taken = length < room ? length : room;
        std::memcpy(line_ + length_, text, taken);
        length_ += taken;
    }
    void Append(char c) { Append(&c, 1); }
    // The terminated string in a buffer of `capacity` characters (all of them when unterminated).
    void AppendString(const char* text, size_t capacity) {
        const void* end = std::memchr(text, '\0', capacity);
        Append(text, end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - text) : capacity);
    }

    // Decimal digits of `value`, zero-padded to at least `width` digits ("%0*llu").
    void AppendDecimal(uint64_t value, int width) {
        char digits[24];
        int count = 0;
        do {
            digits[sizeof digits - 1 - count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0 || count < width);
        Append(digits + sizeof digits - count, static_cast<size_t>(count));
    }

    // Lower-case hexadecimal digits of `value`, zero-padded to at least `width` digits ("%0*lx").
    void AppendHex(uint32_t value, int width) {
        char digits[8];
        int count = 0;
        do {
            digits[sizeof digits - 1 - count++] = "0123456789abcdef"[value & 15u];
            value >>= 4;
        } while (value != 0 || count < width);
        Append(digits + sizeof digits - count, static_cast<size_t>(count));
    }

    // The record's text: its stored call formatted straight into the line when it holds one
    // (the writer never writes the text back into the slot), else its text.
    void AppendRecordText(const TraceRecord& record) {
        if (record.ready.Load() != kRecordCaptured) {
            AppendString(record.text, kRecordTextCapacity);
            return;
        }
        const size_t room = kLineCapacity - 1 - length_;
        const size_t capacity = room < kRecordTextCapacity ? room + 1 : kRecordTextCapacity;
        const int length = FormatCapturedMessage(line_ + length_, capacity, record.text, sizeof record.text);
        const size_t written = static_cast<size_t>(length < 0 ? 0 : length);
        length_ += written < capacity - 1 ? written : capacity - 1;
    }

    int Finish() {
        line_[length_] = '\0';
        return static_cast<int>(length_);
    }

private:
    char* line_;
    size_t length_ = 0;
};

}  // namespace

int FormatRecordLine(const TraceRecord& record, bool configQuiet, const TimeBase& timeBase,
                     char (&line)[kLineCapacity]) {
    LineBuilder builder(line);
    if (configQuiet || record.quiet) {
        builder.AppendRecordText(record);
        builder.Append('\n');
        return builder.Finish();
    }
    uint64_t time = record.timestamp;
    uint64_t elapsed = record.startTimestamp != 0 ? time - record.startTimestamp : 0;
    if (!timeBase.clockCallbackInstalled) {
        time = TicksToMicroseconds(time, timeBase.counterFrequency);
        if (elapsed != 0) elapsed = TicksToMicroseconds(elapsed, timeBase.counterFrequency);
    }
    // "seconds.micro,thread,facility[,nm=name]: text[ (elapsed us)]\n"
    builder.AppendDecimal(time / 1000000u, 1);
    builder.Append('.');
    builder.AppendDecimal(time % 1000000u, 6);
    builder.Append(',');
    builder.AppendHex(record.threadId, 5);
    builder.Append(',');
    builder.AppendHex(record.facilityId, 4);
    if (record.name[0] != '\0') {
        builder.Append(",nm=", 4);
        builder.AppendString(record.name, kRecordNameCapacity);
    }
    builder.Append(": ", 2);
    builder.AppendRecordText(record);
    if (record.startTimestamp != 0) {
        builder.Append(" (", 2);
        builder.AppendDecimal(elapsed, 1);
        builder.Append(" us)", 4);
    }
    builder.Append('\n');
    return builder.Finish();
}

}  // namespace vextrel
