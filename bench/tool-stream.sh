#!/usr/bin/env bash
# Times the vextrel program on a generated trace: `cat`, `stats`, `timeline` and `report` over
# several files of a chosen total size, each with its elapsed and CPU seconds, throughput on one
# core (input size / CPU seconds) and the program's peak resident memory (GNU time's -v figures).
# The user and system seconds are shown apart: the system's share is mostly writing the output.
#   bench/tool-stream.sh [TOTAL_MB] [FILES] [THREADS]     default: 1024 MB in 4 files, 48 threads
# Builds in build/bench/ (or $VEXTREL_BENCH_BUILD: a build folder that is already configured, such
# as build/linux/, is built as it is); the trace and the outputs go to a temporary folder under
# $TMPDIR (or /tmp), deleted at the end. Prints the load average with the figures: on a busy
# machine the CPU seconds (user + system) are the figures to compare.
set -euo pipefail

total_mb=${1:-1024}
files=${2:-4}
threads=${3:-48}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${VEXTREL_BENCH_BUILD:-$source_dir/build/bench}
[[ -x /usr/bin/time ]] || { echo "needs GNU time (apt-get install time)" >&2; exit 2; }
generator=()
if command -v ninja >/dev/null; then generator=(-G Ninja); fi
if [[ ! -f $build_dir/CMakeCache.txt ]]; then
    cmake -S "$source_dir" -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXTREL_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build_dir" -j2 --target vextrel_tool make_trace_files >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/vextrel-stream.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build_dir/bin/make_trace_files" "$work" "$total_mb" "$files" "$threads"
bytes=$(cat "$work"/*.txt | wc -c)
echo "input: $files files, $((bytes / 1048576)) MB, $threads threads per file; load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-14s %9s %9s %7s %7s %12s %12s %10s\n' command elapsed_s cpu_s user_s sys_s "MB/s(cpu)" "MB/s(wall)" peak_MB
vextrel=$build_dir/bin/vextrel
run() {
    local name=$1
    shift
    local program=$vextrel
    if [[ $name == dd* ]]; then program=dd; fi
    /usr/bin/time -v -o "$work/time.txt" "$program" "$@" >/dev/null
    awk -v name="$name" -v bytes="$bytes" -F': ' '
        /User time/ { user = $2 } /System time/ { sys = $2 } /Maximum resident/ { rss = $2 }
        /Elapsed \(wall clock\)/ { n = split($2, p, ":"); wall = 0; for (i = 1; i <= n; i++) wall = wall * 60 + p[i] }
        END { cpu = user + sys; mb = bytes / 1048576
              printf "%-14s %9.2f %9.2f %7.2f %7.2f %12.0f %12.0f %10.1f\n", name, wall, cpu, user, sys, mb / cpu, mb / wall, rss / 1024 }' "$work/time.txt"
}
run cat cat --quiet "$work"/*.txt
run stats stats --quiet "$work"/*.txt
# The timeline is timed twice: into /dev/null, as cat and stats are, and into a file. Writing a
# file costs the system time of its own, which swings with this machine's file cache: the `dd`
# line copies the same JSON into a file in the same folder, the floor of that cost measured now.
run timeline timeline --quiet "$work"/*.txt -o /dev/null
run timeline\>file timeline --quiet "$work"/*.txt -o "$work/timeline.json"
run dd\>file if="$work/timeline.json" of="$work/timeline-copy.json" bs=4M status=none
echo "timeline JSON: $(($(wc -c <"$work/timeline.json") / 1048576)) MB"
rm -f "$work/timeline.json" "$work/timeline-copy.json"
run report report --quiet "$work"/*.txt -o "$work/report.html"
echo "report page: $(($(wc -c <"$work/report.html") / 1024)) KB; load average $(cut -d' ' -f1-3 /proc/loadavg)"
