// The decimal point and the rounding direction the C library's printf uses for the calling thread.
#pragma once

namespace vextrel::platform {

// Whether printf writes doubles with a plain "." as their decimal point: the calling thread's numeric
// locale on Linux (nl_langinfo), the C run-time's locale on Windows (localeconv). A host that sets a
// locale with a decimal comma makes this false.
bool DecimalPointIsDot();

// Whether the calling thread's floating-point rounding direction is to nearest in both places a
// C library's printf may take it from: the SSE control register that x86-64 double arithmetic uses,
// and the x87 control word (glibc's printf rounds by the x87 word). fesetround sets both; a host
// that sets only one of them still gets what its printf writes. Two register reads, a few times
// cheaper than fegetround.
inline bool RoundsToNearest() {
    unsigned short x87Control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(x87Control));
    return (__builtin_ia32_stmxcsr() & 0x6000u) == 0 && (x87Control & 0x0C00u) == 0;
}

}  // namespace vextrel::platform
