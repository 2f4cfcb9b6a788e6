#!/usr/bin/env bash
# Opens the demo's report page in a real browser (headless Chromium, the Debian package) and checks
# that the numbers the page's script drew (records, threads, lost-output reports) are those
# `vextrel stats` gives for the same trace; saves a screenshot as build/report-screenshot.png.
#
#   scripts/check-report-browser.sh
#
# Runs scripts/run-demo.sh first (which writes build/demo-report.html); installs chromium when it
# is missing. Prints one line per check and "N passed, N failed"; exits non-zero on a failure.
set -uo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD
LOGS=$ROOT/build/logs
# shellcheck source=scripts/lib/packages.sh
source "$ROOT/scripts/lib/packages.sh"
install_missing_packages --with-recommends chromium || exit 1
mkdir -p "$LOGS"

scripts/run-demo.sh >"$LOGS/report-demo.log" 2>&1 || { tail -n 20 "$LOGS/report-demo.log"; echo "the demo failed"; exit 1; }
trace=$(sed -n 's/^demo_host: trace file: //p' "$LOGS/report-demo.log")
page=$ROOT/build/demo-report.html
[[ -f $page && -f $trace ]] || { echo "the demo wrote no report or no trace"; exit 1; }

browser=(chromium --headless=new --no-sandbox --disable-gpu --hide-scrollbars --no-first-run)
dom=$(timeout 120 "${browser[@]}" --dump-dom "file://$page" 2>>"$LOGS/report-browser.log")
timeout 120 "${browser[@]}" --window-size=1400,2200 --screenshot="$ROOT/build/report-screenshot.png" "file://$page" \
    >>"$LOGS/report-browser.log" 2>&1
stats=$("$ROOT/build/demo/bin/vextrel" stats "$trace")  # the program the demo built

# The text of the element with this id, as the page's script wrote it (thousands separators dropped).
shown() { sed -n "s/.*id=\"$1\"[^>]*>\([^<]*\)<.*/\1/p" <<<"$dom" | head -n 1 | tr -d ','; }
passed=0 failed=0
check() {  # name, shown value, expected value
    if [[ -n $2 && $2 == "$3" ]]; then
        echo "ok: $1 $2"
        passed=$((passed + 1))
    else
        echo "FAILED: $1: the page shows '$2', vextrel stats says '$3'"
        failed=$((failed + 1))
    fi
}
check "script ran" "$(grep -o 'data-drawn="yes"' <<<"$dom" | head -n 1)" 'data-drawn="yes"'
check records "$(shown records)" "$(sed -n 's/^  \([0-9]*\) records from.*/\1/p' <<<"$stats")"
check threads "$(shown threads)" "$(awk '/^  per thread:/ { on = 1; next } /^  [^ ]/ { on = 0 } on { n++ } END { print n }' <<<"$stats")"
check losses "$(shown losses)" "$(sed -n 's/^  lost-output reports: \([0-9]*\).*/\1/p' <<<"$stats")"
check screenshot "$( [[ -s $ROOT/build/report-screenshot.png ]] && echo saved)" saved
echo "report page in the browser: $passed passed, $failed failed (screenshot: build/report-screenshot.png)"
((failed == 0))
