#!/usr/bin/env bash
# The main job: builds the Linux library and the demo host, runs the host (it loads libvextrel.so by
# its file name with the demo_host.vextrel configuration beside it, traces from several threads and
# unloads the library) and shows the trace file it wrote; then the vextrel program summarises that
# file and turns it into a timeline (trace-event JSON for Perfetto or chrome://tracing).
#
#   scripts/run-demo.sh
#
# Installs the Debian packages the build needs first, when some are missing.
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD
LOGS=$ROOT/build/logs
# shellcheck source=scripts/lib/packages.sh
source "$ROOT/scripts/lib/packages.sh"

install_missing_packages cmake ninja-build g++ googletest libcli11-dev
mkdir -p "$LOGS"
cmake --preset linux >"$LOGS/demo-build.log" 2>&1 && cmake --build --preset linux --target demo_host vextrel_tool \
    >>"$LOGS/demo-build.log" 2>&1 || {
    tail -n 30 "$LOGS/demo-build.log"
    echo "build failed (see $LOGS/demo-build.log)"
    exit 1
}

output=$("$ROOT/build/linux/bin/demo_host")
echo "$output"
trace=$(sed -n 's/^demo_host: trace file: //p' <<<"$output")
[[ -f $trace ]] || { echo "no trace file was written"; exit 1; }
echo
echo "=== $trace ==="
cat "$trace"
echo
echo "=== vextrel stats ==="
"$ROOT/build/linux/bin/vextrel" stats "$trace"
echo
echo "=== vextrel timeline ==="
timeline=$ROOT/build/demo-timeline.json
"$ROOT/build/linux/bin/vextrel" timeline "$trace" -o "$timeline"
echo "Open $timeline in https://ui.perfetto.dev or chrome://tracing to see the threads on a time axis."
"$ROOT/build/linux/bin/vextrel" report "$trace" -o "$ROOT/build/demo-report.html"
