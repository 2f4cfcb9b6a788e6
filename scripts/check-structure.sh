#!/usr/bin/env bash
# Checks the library's layering and the size of the tests.
#
#   scripts/check-structure.sh [includes|ratio]   (both when none is named)
#
# includes: every `#include "folder/..."` of a library folder must point to the same folder or one
#   to its left in  platform <- host, diag <- core <- output <- config <- lifecycle <- api.
#   include/ is public (anyone may include it); platform/*/library_entry.cpp may include lifecycle/
#   (the load/unload entry); tools/ may include any library folder.
# ratio: counts non-blank, non-comment lines of .cpp/.h: tests = tests/**, library = every source
#   file outside tests/, bench/, examples/, fuzz/ and build*/; fails when the tests are above 40% of
#   the library.
# Exits non-zero when a requested check fails.
set -uo pipefail
cd "$(dirname "$0")/.."

declare -A RANK=([platform]=0 [host]=1 [diag]=1 [core]=2 [output]=3 [config]=4 [lifecycle]=5 [api]=6)

check_includes() {
    local bad=0 file line target from to
    while IFS= read -r file; do
        from=${file%%/*}
        [[ -n ${RANK[$from]+x} ]] || continue
        while IFS= read -r line; do
            target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]+"([^"]+)".*/\1/' <<<"$line")
            [[ $target == */* ]] || continue
            to=${target%%/*}
            [[ $to == include || $to == "$from" ]] && continue
            if [[ -z ${RANK[$to]+x} ]]; then
                echo "include against the layers: $file includes $target (unknown folder)"
                bad=1
                continue
            fi
            [[ $file == platform/*/library_entry.cpp && $to == lifecycle ]] && continue
            if ((RANK[$to] >= RANK[$from])); then
                echo "include against the layers: $file ($from) includes $target ($to)"
                bad=1
            fi
        done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]+"' "$file")
    done < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | grep -v '^build')
    if ((bad)); then
        echo "includes: FAILED"
        return 1
    fi
    echo "includes: follow the layers"
}

# Prints the non-blank, non-comment lines of the files named on standard input.
count_lines() {
    local total=0 file
    while IFS= read -r file; do
        total=$((total + $(sed -E 's://.*$::' "$file" |
            awk '/\/\*/ { inblock = 1 } { line = $0 } inblock { if (line ~ /\*\//) { inblock = 0; sub(/.*\*\//, "", line) } else next }
                 line ~ /[^[:space:]]/ { n++ } END { print n + 0 }')))
    done
    echo "$total"
}

source_files() {
    git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | grep -v '^build'
}

check_ratio() {
    local tests library ratio
    tests=$(source_files | grep '^tests/' | count_lines)
    library=$(source_files | grep -Ev '^(tests|bench|examples|fuzz)/' | count_lines)
    ratio=$(awk -v t="$tests" -v l="$library" 'BEGIN { printf "%.1f", l ? 100 * t / l : 0 }')
    echo "test lines: $tests, library lines: $library, ratio: $ratio%"
    if awk -v t="$tests" -v l="$library" 'BEGIN { exit !(100 * t > 40 * l) }'; then
        echo "ratio: FAILED (above 40%)"
        return 1
    fi
}

status=0
case ${1:-both} in
    includes) check_includes || status=1 ;;
    ratio) check_ratio || status=1 ;;
    both) check_includes || status=1; check_ratio || status=1 ;;
    *) echo "unknown check: $1 (includes, ratio)" >&2; exit 2 ;;
esac
exit $status
