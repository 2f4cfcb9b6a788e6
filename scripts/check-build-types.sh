#!/usr/bin/env bash
# Builds the whole tree (library, tests, benchmarks, demo) with the default options, as a plain
# `cmake -S . -B <folder>` does, for each common build type with GCC and with clang, and prints one
# line per build with its count of compiler warnings. Builds land in build/types/<compiler>-<type>/.
#   scripts/check-build-types.sh [gcc|clang]...        (both when none is named)
set -uo pipefail
cd "$(dirname "$0")/.."
compilers=("$@")
((${#compilers[@]})) || compilers=(gcc clang)
mkdir -p build/logs
status=0
for compiler in "${compilers[@]}"; do
    cxx=$([[ $compiler == gcc ]] && echo g++ || echo clang++)
    for type in Debug Release RelWithDebInfo MinSizeRel; do
        folder=build/types/$compiler-$type log=build/logs/types-$compiler-$type.log
        if CC=$compiler CXX=$cxx cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=$type >"$log" 2>&1 &&
            cmake --build "$folder" -j "${VEXTREL_JOBS:-2}" >>"$log" 2>&1; then
            echo "$compiler $type: built, $(grep -c 'warning:' "$log") warnings"
        else
            echo "$compiler $type: FAILED, see $log"
            status=1
        fi
    done
done
exit $status
