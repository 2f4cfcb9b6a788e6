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
// that sets only one of them still gets what its printf writes.
//
// The SSE direction is found by two additions rather than by reading the control register, which
// costs several times more on some processors: 1 + 0.75 ulp and -1 - 0.75 ulp both round away from
// zero only when rounding to nearest (upward keeps -1, downward and toward zero keep 1). The empty
// assembly statements keep the compiler from working the sums out itself (it assumes nearest).
inline bool RoundsToNearest() {
    double one = 1.0, minusOne = -1.0, threeQuarterUlp = 0x1.8p-53;
    __asm__ volatile("" : "+x"(one), "+x"(minusOne), "+x"(threeQuarterUlp));
    double up = one + threeQuarterUlp, down = minusOne - threeQuarterUlp;
    __asm__ volatile("" : "+x"(up), "+x"(down));
    unsigned short x87Control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(x87Control));
    return up == 0x1.0000000000001p0 && down == -0x1.0000000000001p0 && (x87Control & 0x0C00u) == 0;
}

}  // namespace vextrel::platform
