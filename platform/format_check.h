// Marks a function as taking a printf-style format, so -Wformat checks its callers.
#pragma once

#if defined(__clang__)
#define VEXTREL_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define VEXTREL_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#endif
