// The decimal point and the rounding direction the C library's printf uses for the calling thread.
#pragma once

namespace vextrel::platform {

// Whether printf writes doubles with a plain "." as their decimal point: the calling thread's numeric
// locale on Linux (nl_langinfo), the C run-time's locale on Windows (localeconv). A host that sets a
// locale with a decimal comma makes this false.
bool DecimalPointIsDot();

// Whether the calling thread's floating-point rounding direction is to nearest, read from the SSE
// control register that x86-64 double arithmetic uses (fesetround sets it); a few times cheaper
// than fegetround, which also reads the x87 control word.
inline bool RoundsToNearest() { return (__builtin_ia32_stmxcsr() & 0x6000u) == 0; }

}  // namespace vextrel::platform
