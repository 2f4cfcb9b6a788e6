#!/usr/bin/env bash
# Compiles the public headers as every C and C++ standard the library supports, with GCC and clang,
# all warnings as errors; then shows that a wrong format argument to VextrelFormat is refused.
#   check-headers.sh INCLUDE_DIR GENERATED_INCLUDE_DIR
set -euo pipefail
include=$1 generated=$2 here=$(dirname "$0") failed=0
for compiler in gcc clang; do
    cxx=$([[ $compiler == gcc ]] && echo g++ || echo clang++)
    for standard in c89 c99 c11 c17 c++11 c++14 c++17 c++20 c++2b; do
        if [[ $standard == c++* ]]; then
            command=("$cxx" -x c++ -Wold-style-cast -Wnon-virtual-dtor)
        else
            command=("$compiler" -x c)
        fi
        if ! "${command[@]}" -std="$standard" -pedantic -Wall -Wextra -Werror -Wformat=2 -I"$include" -I"$generated" \
            -c "$here/header_use.c" -o /dev/null; then
            echo "FAILED: $compiler -std=$standard"
            failed=1
        fi
    done
    # A call whose argument does not match its format must not compile.
    if echo '#include "vextrel.h"
void f(void) { VextrelFormat(1, "%s", 42); }' | "$compiler" -x c -std=c99 -Wall -Werror -I"$include" -c - -o /dev/null 2>/dev/null; then
        echo "FAILED: $compiler accepts VextrelFormat(1, \"%s\", 42)"
        failed=1
    fi
done
((failed == 0)) && echo "public headers: C89-C17 and C++11-C++23 clean with gcc and clang; format mismatch refused"
exit $failed
