#!/usr/bin/env bash
# Checks the library's layering and the size of the tests.
#
#   scripts/check-structure.sh [includes|links [BUILD_DIR]|ratio|format|self-test]
#   (includes, links and ratio when none is named)
#
# The layers, each using only those to its left; siblings do not use each other:
#   platform <- host, diag <- core <- output, config <- lifecycle <- api, entry
# includes: every `#include "folder/..."` of a library folder must point to the same folder or a
#   lower layer. include/ is public (anyone may include it); tools/ may include any library folder.
# links: the same rule for symbols: every undefined symbol of a folder's object files (nm) that
#   another library folder defines must be defined in the same folder or a lower layer. Reads the
#   object files of BUILD_DIR (build/linux by default), building the library there first.
# ratio: counts non-blank, non-comment lines of .cpp/.h: tests = tests/**, library = every source
#   file outside tests/, bench/, examples/, fuzz/ and build*/; fails when the tests are above 40% of
#   the library.
# format: every tracked .cpp/.h file is as clang-format (.clang-format) writes it.
# self-test: a deliberate breach in a scratch tree must fail the include and the link check, and the
#   same tree without it must pass them.
# Exits non-zero when a requested check fails.
set -uo pipefail
cd "$(dirname "$0")/.."

declare -A RANK=([platform]=0 [host]=1 [diag]=1 [core]=2 [output]=3 [config]=3 [lifecycle]=4 [api]=5 [entry]=5)

# Whether folder $1 may use folder $2: the same folder, or a lower layer.
may_use() {
    [[ $1 == "$2" ]] || ((RANK[$2] < RANK[$1]))
}

check_includes() {
    local bad=0 file line target from to
    local -a files=()
    mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | grep -v '^build')
    # One grep over every file: "file:#include "target"" lines.
    while IFS= read -r line; do
        file=${line%%:*}
        from=${file%%/*}
        [[ -n ${RANK[$from]+x} ]] || continue
        [[ $line =~ include[[:space:]]+\"([^\"]+)\" ]] || continue
        target=${BASH_REMATCH[1]}
        [[ $target == */* ]] || continue
        to=${target%%/*}
        [[ $to == include || $to == "$from" ]] && continue
        if [[ -z ${RANK[$to]+x} ]]; then
            echo "include against the layers: $file includes $target (unknown folder)"
            bad=1
            continue
        fi
        if ! may_use "$from" "$to"; then
            echo "include against the layers: $file ($from) includes $target ($to)"
            bad=1
        fi
    done < <(((${#files[@]})) && grep -HE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"' "${files[@]}")
    if ((bad)); then
        echo "includes: FAILED"
        return 1
    fi
    echo "includes: follow the layers"
}

# The library's object files of a build tree, one per line: CMake puts the object of <folder>/x.cpp
# at CMakeFiles/<target>.dir/<folder>/x.cpp.o. A CMake tree names the current ones in its
# compile_commands.json (objects of removed sources may linger); another tree gives all it has.
object_files() {
    if [[ -f $1/compile_commands.json ]]; then
        grep -oE -- '-o CMakeFiles/(vextrel_objects|vextrel)\.dir/[^ ]+\.o' "$1/compile_commands.json" |
            sed "s|^-o |$1/|" | sort -u
    else
        find "$1/CMakeFiles/vextrel_objects.dir" "$1/CMakeFiles/vextrel.dir" -name '*.o' 2>/dev/null | sort
    fi
}

check_links() {
    local build=${1:-build/linux} bad=0
    # A CMake tree is brought up to date first (configured from its preset when missing).
    if [[ ! -f $build/CMakeCache.txt && -z $(object_files "$build") ]]; then
        cmake --preset "$(basename "$build")" >/dev/null || return 1
    fi
    if [[ -f $build/CMakeCache.txt ]]; then
        cmake --build "$build" --target vextrel -j2 >/dev/null || return 1
    fi
    local -a objects=()
    mapfile -t objects < <(object_files "$build")
    if ((${#objects[@]} == 0)); then
        echo "links: no object files in $build"
        return 1
    fi
    local ranks="" name
    for name in "${!RANK[@]}"; do ranks+="$name=${RANK[$name]} "; done
    # One nm over every object file ("file: symbol kind ..."); awk finds where each symbol is
    # defined, the lowest layer that defines it (an inline function or a template instance is
    # defined, weakly, in every folder that uses it), and prints "folder symbol definer" for each
    # folder that needs a symbol defined in a layer it may not use.
    local folder symbol definer
    while read -r folder symbol definer; do
        echo "link against the layers: $folder uses $(c++filt "$symbol"), defined in $definer"
        bad=1
    done < <(nm -A -P "${objects[@]}" | awk -v ranks="$ranks" '
        BEGIN { n = split(ranks, pairs, " "); for (i = 1; i <= n; ++i) { split(pairs[i], p, "="); rank[p[1]] = p[2] + 0 } }
        {
            folder = $1; sub(/:$/, "", folder); sub(/.*CMakeFiles\/[^\/]*\.dir\//, "", folder); sub(/\/.*/, "", folder)
            if (!(folder in rank)) next
            if ($3 == "U") need[folder, $2] = 1
            else if ($3 ~ /^[TDBRWVGSu]$/ && (!($2 in def) || rank[folder] < rank[def[$2]])) def[$2] = folder
        }
        END {
            for (key in need) {
                split(key, p, SUBSEP)
                if (!(p[2] in def)) continue
                d = def[p[2]]
                if (p[1] != d && rank[d] >= rank[p[1]]) print p[1], p[2], d
            }
        }')
    if ((bad)); then
        echo "links: FAILED"
        return 1
    fi
    echo "links: follow the layers"
}

# Prints the non-blank, non-comment lines of the files named on standard input.
# A line comment is dropped first; a block comment hides its lines up to the one that closes it.
count_lines() {
    tr '\n' '\0' | xargs -0 -r awk '
        FNR == 1 { inblock = 0 }
        { line = $0; sub(/\/\/.*$/, "", line) }
        line ~ /\/\*/ { inblock = 1 }
        inblock { if (line ~ /\*\//) { inblock = 0; sub(/.*\*\//, "", line) } else next }
        line ~ /[^[:space:]]/ { n++ }
        END { print n + 0 }' | awk '{ total += $1 } END { print total + 0 }'
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

# The tracked C++ files clang-format would change, with the first lines of each difference.
check_format() {
    local formatter bad=0 file
    formatter=$(command -v clang-format-14 || command -v clang-format) || {
        echo "format: FAILED (no clang-format; Debian package clang-format-14)"
        return 1
    }
    local -a files=()
    mapfile -t files < <(source_files | grep -Ev '^(tests/consumers|build)/')
    # One formatter run per 40 files, two at a time, says whether any file would change; only then
    # is each file compared on its own, to name it and show the difference.
    if printf '%s\0' "${files[@]}" |
        xargs -0 -r -P 2 -n 40 "$formatter" --style=file --dry-run -Werror >/dev/null 2>&1; then
        echo "format: the tree follows .clang-format"
        return 0
    fi
    for file in "${files[@]}"; do
        if ! "$formatter" --style=file "$file" | cmp -s - "$file"; then
            echo "not formatted: $file"
            "$formatter" --style=file "$file" | diff -u "$file" - | sed -n '3,12p'
            bad=1
        fi
    done
    if ((bad)); then
        echo "format: FAILED (run $formatter -i on the files above)"
        return 1
    fi
    echo "format: the tree follows .clang-format"
}

# Runs the include and link checks on a scratch tree of two folders, core/ and output/: clean, both
# must pass; with core/ including an output/ header and calling a function defined there, both must
# fail.
self_test() {
    local scratch bad=0
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' RETURN
    mkdir -p "$scratch/core" "$scratch/output" "$scratch/scripts"
    cp scripts/check-structure.sh "$scratch/scripts/check-structure.sh"
    printf 'int Lower() { return 1; }\n' >"$scratch/core/lower.cpp"
    printf 'int Lower();\nint Upper() { return Lower() + 1; }\n' >"$scratch/output/upper.cpp"
    printf 'int Upper();\n' >"$scratch/output/upper.h"
    git -C "$scratch" init -q
    scratch_objects() {
        local dir=$scratch/build/CMakeFiles/vextrel_objects.dir file
        rm -rf "$scratch/build"
        for file in core/lower.cpp output/upper.cpp; do
            mkdir -p "$dir/${file%/*}"
            c++ -I "$scratch" -c "$scratch/$file" -o "$dir/$file.o" || return 1
        done
    }
    scratch_objects || return 1
    if ! "$scratch/scripts/check-structure.sh" includes >/dev/null; then
        echo "self-test: the include check fails on a clean tree"
        bad=1
    fi
    if ! "$scratch/scripts/check-structure.sh" links "$scratch/build" >/dev/null; then
        echo "self-test: the link check fails on a clean tree"
        bad=1
    fi
    # The breach: core/ includes an output/ header and calls Upper, defined in output/.
    printf '#include "output/upper.h"\nint Lower() { return Upper() - 1; }\n' >"$scratch/core/lower.cpp"
    scratch_objects || return 1
    if "$scratch/scripts/check-structure.sh" includes >/dev/null; then
        echo "self-test: the include check passes core/ including output/"
        bad=1
    fi
    if "$scratch/scripts/check-structure.sh" links "$scratch/build" >/dev/null; then
        echo "self-test: the link check passes core/ calling into output/"
        bad=1
    fi
    if ((bad)); then
        echo "self-test: FAILED"
        return 1
    fi
    echo "self-test: both checks fail on a breach and pass without it"
}

status=0
case ${1:-all} in
    includes) check_includes || status=1 ;;
    links) check_links "${2:-}" || status=1 ;;
    ratio) check_ratio || status=1 ;;
    format) check_format || status=1 ;;
    self-test) self_test || status=1 ;;
    all) check_includes || status=1; check_links || status=1; check_ratio || status=1 ;;
    *) echo "unknown check: $1 (includes, links, ratio, format, self-test)" >&2; exit 2 ;;
esac
exit $status
