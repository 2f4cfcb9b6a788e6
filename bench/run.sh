#!/usr/bin/env bash
# Builds bench_vextrel (RelWithDebInfo, -O2 -g, as the linux preset builds the library; in
# build/bench/) and runs it.
#   bench/run.sh            full run, a few minutes: prints the machine and the tables with ratios
#   bench/run.sh --smoke    every case once with a tiny count (proves the program works)
#   bench/run.sh --keep     also leaves the trace and log files in the temporary folder
#   bench/run.sh --wine     builds bench_ratios for Windows (preset windows) and runs it under Wine:
#                           the Windows build's ratios, informative only
# Further options (--only PART, --match TEXT) are passed on; see bench/main.cpp.
# The build folder is build/bench/ beside the sources, or $VEXTREL_BENCH_BUILD.
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
if [[ ${1:-} == --wine ]]; then
    shift
    cd "$source_dir"
    [[ -f build/windows/build.ninja ]] || cmake --preset windows >/dev/null
    cmake --build build/windows -j2 --target bench_ratios
    echo "### Windows build under Wine (bench_ratios $*)"
    echo
    exec timeout 600 cmake/wine-run.sh "$PWD/build/windows/wine" "$PWD/build/windows/bin/bench_ratios.exe" "$@"
fi
build_dir=${VEXTREL_BENCH_BUILD:-$source_dir/build/bench}
generator=()
if command -v ninja >/dev/null; then generator=(-G Ninja); fi

cmake -S "$source_dir" -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXTREL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j2 --target bench_vextrel

echo "### Machine"
echo
echo "- CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) logical CPUs"
echo "- kernel: $(uname -sr); clock source: $(cat /sys/devices/system/clocksource/clocksource0/current_clocksource 2>/dev/null || echo unknown)"
echo "- compiler: $(c++ --version | head -n1); load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "- command: bench/run.sh $*"
echo
exec "$build_dir/bin/bench_vextrel" "$@"
