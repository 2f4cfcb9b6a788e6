#!/usr/bin/env bash
# Checks the export table of the built library against the public header: every exported name must be
# a function declared with VEXTREL_API in include/vextrel.h. Prints how many of the declared functions
# the library exports; with --require-all, a missing one fails the check too.
#
# Usage: check-exports.sh elf NM HEADER LIBRARY [--require-all]     (libvextrel.so: nm -D --defined-only)
#        check-exports.sh pe OBJDUMP HEADER LIBRARY [--require-all]  (vextrel.dll: export names of objdump -p)
# Both tools run on the build machine, never under Wine.
set -euo pipefail

if [[ $# -lt 4 || ( $1 != elf && $1 != pe ) ]]; then
    echo "usage: $0 elf|pe LISTER HEADER LIBRARY [--require-all]" >&2
    exit 2
fi
format=$1
lister=$2
header=$3
library=$4
require_all=${5:-}

declared=$(sed -nE 's/^VEXTREL_API[^(]*[^A-Za-z0-9_](Vextrel[A-Za-z0-9_]*)[[:space:]]*\(.*/\1/p' "$header" | sort -u)
declared_count=$(grep -c . <<<"$declared" || true)
if [[ $declared_count -eq 0 ]]; then
    echo "no VEXTREL_API functions found in $header" >&2
    exit 1
fi

if [[ $format == elf ]]; then
    table=$("$lister" -D --defined-only "$library")
    exported=$(awk 'NF >= 3 { sub(/@.*/, "", $3); print $3 }' <<<"$table" | sort -u)
else
    table=$("$lister" -p "$library")
    exported=$(awk '/^\[Ordinal\/Name Pointer\] Table/ { inside = 1; next }
                    inside && /^[[:space:]]*\[[[:space:]]*[0-9]+\]/ { print $NF; next }
                    inside { inside = 0 }' <<<"$table" | sort -u)
fi

status=0
unexpected=$(comm -13 <(echo "$declared") <(grep . <<<"$exported" || true))
if [[ -n $unexpected ]]; then
    echo "exported but not declared with VEXTREL_API in $(basename "$header"):"
    sed 's/^/  /' <<<"$unexpected"
    status=1
fi

present=$(comm -12 <(echo "$declared") <(grep . <<<"$exported" || true))
present_count=$(grep -c . <<<"$present" || true)
echo "$(basename "$library"): $present_count of $declared_count declared functions exported"
missing=$(comm -23 <(echo "$declared") <(grep . <<<"$exported" || true))
if [[ -n $missing ]]; then
    echo "not exported yet:"
    sed 's/^/  /' <<<"$missing"
    if [[ $require_all == --require-all ]]; then
        status=1
    fi
fi
exit $status
