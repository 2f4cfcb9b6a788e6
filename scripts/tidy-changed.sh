#!/usr/bin/env bash
# Runs clang-tidy (the checks of .clang-tidy) on the library's C++ files that differ from a base
# revision, with the compile commands of the linux build (configured first when missing); the
# Windows-only files are not in those commands and are left out.
#
#   scripts/tidy-changed.sh [BASE]   (BASE: main when not given)
#
# Exits non-zero when clang-tidy reports anything.
set -euo pipefail
cd "$(dirname "$0")/.."
base=${1:-main}
tidy=$(command -v clang-tidy-14 || command -v clang-tidy) || {
    echo "no clang-tidy (Debian package clang-tidy-14)" >&2
    exit 2
}
[[ -f build/linux/compile_commands.json ]] || cmake --preset linux >/dev/null
# The GNU-only flags of the GCC build are not clang's: the commands clang-tidy reads go without them.
mkdir -p build/tidy
sed 's/ -fno-gnu-unique//g' build/linux/compile_commands.json >build/tidy/compile_commands.json
mapfile -t files < <(git diff --name-only --diff-filter=d "$base" -- '*.cpp' |
    grep -E '^(api|entry|lifecycle|config|output|core|diag|host|platform)/' | grep -v '/win32/' || true)
if ((${#files[@]} == 0)); then
    echo "tidy: no changed library files"
    exit 0
fi
"$tidy" -p build/tidy --quiet --warnings-as-errors='*' "${files[@]}"
echo "tidy: ${#files[@]} files clean"
