// The decimal point the C library's printf uses for the calling thread.
#pragma once

namespace vextrel::platform {

// Whether printf writes doubles with a plain "." as their decimal point: the calling thread's numeric
// locale on Linux (nl_langinfo), the C run-time's locale on Windows (localeconv). A host that sets a
// locale with a decimal comma makes this false.
bool DecimalPointIsDot();

}  // namespace vextrel::platform
