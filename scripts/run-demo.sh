#!/usr/bin/env bash
# The main job: builds the Linux library, the demo host and the vextrel program, and nothing else
# (the `demo` preset, in build/demo/); runs the host (it loads libvextrel.so by its file name with
# the demo_host.vextrel configuration beside it, traces from several threads and unloads the
# library) and shows the trace file it wrote; then the vextrel program summarises that file and
# turns it into a timeline (trace-event JSON for Perfetto or chrome://tracing).
#
#   scripts/run-demo.sh
#
# Installs the Debian packages the build needs first, when some are missing (`demo` in
# scripts/packages.txt).
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD
LOGS=$ROOT/build/logs
# shellcheck source=scripts/lib/packages.sh
source "$ROOT/scripts/lib/packages.sh"

BIN=$ROOT/build/demo/bin

install_packages_for demo
mkdir -p "$LOGS"
cmake --preset demo >"$LOGS/demo-build.log" 2>&1 && cmake --build --preset demo >>"$LOGS/demo-build.log" 2>&1 || {
    tail -n 30 "$LOGS/demo-build.log"
    echo "build failed (see $LOGS/demo-build.log)"
    exit 1
}

output=$("$BIN/demo_host")
echo "$output"
trace=$(sed -n 's/^demo_host: trace file: //p' <<<"$output")
[[ -f $trace ]] || { echo "no trace file was written"; exit 1; }
echo
echo "=== $trace ==="
cat "$trace"
echo
echo "=== vextrel stats ==="
"$BIN/vextrel" stats "$trace"
echo
echo "=== vextrel timeline ==="
timeline=$ROOT/build/demo-timeline.json
"$BIN/vextrel" timeline "$trace" -o "$timeline"
echo "Open $timeline in https://ui.perfetto.dev or chrome://tracing to see the threads on a time axis."
"$BIN/vextrel" report "$trace" -o "$ROOT/build/demo-report.html"
