// The trace call's text formatter: printf-style formatting without allocation, locks or
// thread-locals, byte for byte what the C library's vsnprintf writes.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "platform/format_check.h"

namespace vextrel {

// Formats `format` with `args` exactly as std::vsnprintf does: writes at most capacity - 1
// characters and a terminating NUL into `out` (nothing when capacity is 0) and returns the length
// of the whole text; a conversion it does not format itself (%n, %p, %a, wide text, positional
// arguments, long double, unknown ones) hands the whole call to std::vsnprintf with untouched
// arguments.
int FormatMessageText(char* out, size_t capacity, const char* format, va_list args) VEXTREL_PRINTF_FORMAT(3, 0);

// FormatMessageText without the hand-over: returns false, leaving partial text in `out`, when a
// conversion needs std::vsnprintf; otherwise stores the length of the whole text in `length`.
bool TryFormatMessageText(char* out, size_t capacity, const char* format, va_list args, int& length)
    VEXTREL_PRINTF_FORMAT(3, 0);

// Captures a call for formatting later, on another thread: copies the format and the arguments as
// read from `args` into `out` (strings copied, at most capacity - 1 of their characters, with their
// printed length). False, leaving `out` unspecified, when the call must be formatted at once: a
// conversion that FormatMessageText hands to std::vsnprintf, a double while the calling thread
// rounds other than to nearest or uses a decimal point other than ".", or a format and arguments
// that do not fit `capacity`. Reads the arguments through its own copy of `args`.
bool CaptureMessage(char* out, size_t capacity, const char* format, va_list args) VEXTREL_PRINTF_FORMAT(3, 0);

// Formats a call captured by CaptureMessage into `out` (which must not overlap it), writing what
// FormatMessageText wrote at the call; `capturedSize` is the capacity the capture was given.
// Allocates nothing and takes no lock: the crash path may use it.
int FormatCapturedMessage(char* out, size_t capacity, const char* captured, size_t capturedSize);

}  // namespace vextrel
