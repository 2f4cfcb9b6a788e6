#!/usr/bin/env bash
# Packaging and integration check: builds the library as a host project would (no developer
# presets, no -Werror), installs it, makes the packages and builds and runs the consumer projects of
# tests/consumers/ against what was installed:
#   headers    the public headers compile as C89..C17 and C++11..C++23 (gcc, clang), a bad format is refused
#   install    Release build, `cmake --install`, the install tree and the soname (readelf -d)
#   requirements  the README's Requirements table lists what scripts/packages.txt lists
#   cpack      .deb (libvextrel1, libvextrel-dev, vextrel) and .tar.gz, listed with their sizes
#   deb-split  each .deb holds its own kind of file only, its documents in its own doc folder with a
#              copyright file and a changelog
#   lintian    no error on the .deb files (the warnings are listed)
#   find_package / pkg-config / dlopen   the Linux consumers of the install tree, each run (the
#              FetchContent consumer, a build of the library from source, is the fresh-machine
#              check's, which runs the README's lines: building it here too took a library build)
#   deb        the .deb files unpacked into a scratch root (dpkg -x); the find_package consumer against it
#   windows-*  the MinGW cross build: the zip (under 2 MB: stripped binaries, their debug files in a
#              zip of their own), vextrel.lib (25 imports, lld-link without a C run-time), a MinGW host
#              linked to the installed import library under Wine, stack traces that name the library's
#              own functions from the debug file beside the stripped DLL, the DLL's version resource
# Prints one line per check and last "packaging: N passed, M failed". Output of every command goes to
# build/logs/packaging.log.       Usage: scripts/check-packaging.sh [--no-windows]
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
WORK=$ROOT/build/packaging
LOG=$ROOT/build/logs/packaging.log
CONSUMERS=$ROOT/tests/consumers
JOBS=${VEXTREL_JOBS:-2}
VERSION=$(sed -nE 's/^project\(vextrel VERSION ([0-9.]+).*/\1/p' "$ROOT/CMakeLists.txt")
# shellcheck source=scripts/lib/packages.sh
source "$ROOT/scripts/lib/packages.sh"
mkdir -p "$(dirname "$LOG")"
# The library builds (linux/, windows/) are kept between runs and rebuilt incrementally; installs,
# packages and consumers start from nothing.
mkdir -p "$WORK"
find "$WORK" -mindepth 1 -maxdepth 1 ! -name linux ! -name windows ! -name wine -exec rm -rf {} +
rm -rf "$WORK/linux/packages" "$WORK/windows/packages"
: >"$LOG"
passed=0
failed=0

# check NAME COMMAND...: runs the command with its output in the log and counts the result.
# Prints the result with the check's time in seconds.
check() {
    local name=$1 start=$SECONDS
    shift
    echo "=== $name: $*" >>"$LOG"
    if "$@" >>"$LOG" 2>&1; then
        printf '  ok    %-26s %4d s\n' "$name" $((SECONDS - start))
        passed=$((passed + 1))
    else
        printf '  FAIL  %-26s %4d s (see %s)\n' "$name" $((SECONDS - start)) "$LOG"
        failed=$((failed + 1))
    fi
}
# show COMMAND...: prints the command's output here and in the log.
show() { "$@" 2>&1 | tee -a "$LOG" | sed 's/^/        /'; }

cmake_build() {  # SOURCE BUILD [cmake arguments...]
    local source=$1 build=$2
    shift 2
    cmake -S "$source" -B "$build" -G Ninja "$@" && cmake --build "$build" -j "$JOBS"
}

# The README's Requirements table has one row per list of scripts/packages.txt: "| `list` | who |
# `package` ... |", with the same packages.
requirements() {
    local list listed readme status=0
    for list in base demo install test; do
        listed=$(packages_for "$list" | sort | xargs)
        readme=$(awk -v row="| \`$list\` |" 'index($0, row) == 1' "$ROOT/README.md" | awk -F'|' '{ print $4 }' |
            grep -o '`[^`]*`' | tr -d '`' | sort | xargs)
        echo "$list: scripts/packages.txt: $listed"
        echo "$list: README.md:            $readme"
        [[ -n $listed && $listed == "$readme" ]] || status=1
    done
    return $status
}
check requirements requirements

# --- Linux ------------------------------------------------------------------------------------
PREFIX=$WORK/prefix
LIBDIR=lib
LIN=$WORK/linux
install_linux() {
    cmake_build "$ROOT" "$LIN" -DCMAKE_BUILD_TYPE=Release -DVEXTREL_BUILD_TESTS=OFF -DVEXTREL_BUILD_BENCH=OFF \
        -DVEXTREL_BUILD_EXAMPLES=OFF -DCMAKE_INSTALL_PREFIX=/usr &&
        cmake --install "$LIN" --prefix "$PREFIX" || return 1
    # The library folder below the prefix: lib/<multiarch> on Debian for a /usr prefix, as in the .deb.
    LIBDIR=$(cd "$PREFIX" && dirname "$(find . -name libvextrel.so.1)" | sed 's|^\./||')
    readelf -d "$PREFIX/$LIBDIR/libvextrel.so.1" | grep 'SONAME.*\[libvextrel\.so\.1\]' >/dev/null
}
check install install_linux
show bash -c "cd '$PREFIX' && find . -type f -o -type l | sort"
show bash -c "readelf -d '$PREFIX/$LIBDIR/libvextrel.so.1' | grep SONAME"

check headers bash "$CONSUMERS/check-headers.sh" "$PREFIX/include" "$PREFIX/include"

make_packages() { (cd "$LIN" && cpack) && ls "$LIN"/packages/*.deb "$LIN"/packages/*.tar.gz; }
check cpack make_packages
show bash -c "cd '$LIN/packages' && ls -l *.deb *.tar.gz 2>/dev/null | awk '{ printf \"%10d  %s\\n\", \$5, \$9 }'"

# The files each package may hold besides its documents (extended regular expressions of whole
# paths), and those it must hold.
declare -A DEB_MAY=(
    [libvextrel1]='usr/lib/[^/]+/libvextrel\.so\.1(\.0\.0)?'
    [libvextrel-dev]='usr/include/vextrel[a-z_]*\.h|usr/lib/[^/]+/(libvextrel\.so|cmake/Vextrel/[A-Za-z-]+\.cmake|pkgconfig/vextrel\.pc)'
    [vextrel]='usr/bin/vextrel')
declare -A DEB_MUST=(
    [libvextrel1]='libvextrel.so.1.0.0 libvextrel.so.1'
    [libvextrel-dev]='vextrel.h vextrel_facilities.h vextrel_version.h libvextrel.so VextrelConfig.cmake vextrel.pc configuration.md'
    [vextrel]='bin/vextrel')
deb_split() {
    local deb name files file status=0 names=()
    for deb in "$LIN"/packages/*.deb; do
        name=$(dpkg-deb -f "$deb" Package)
        names+=("$name")
        files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||')
        echo "$name:"
        sed 's/^/    /' <<<"$files"
        [[ -n ${DEB_MAY[$name]:-} ]] || { echo "$name: a package of no known kind"; status=1; continue; }
        if grep -v '^usr/share/doc/' <<<"$files" | grep -vxE "${DEB_MAY[$name]}"; then
            echo "$name: the files above belong to another package"
            status=1
        fi
        if grep '^usr/share/doc/' <<<"$files" | grep -v "^usr/share/doc/$name/"; then
            echo "$name: documents outside usr/share/doc/$name/"
            status=1
        fi
        for file in ${DEB_MUST[$name]} "doc/$name/copyright" "doc/$name/changelog.Debian.gz"; do
            grep -q "/$file\$" <<<"$files" || { echo "$name: no $file"; status=1; }
        done
    done
    echo "packages: ${names[*]}"
    [[ $(printf '%s\n' "${names[@]}" | sort | xargs) == "libvextrel-dev libvextrel1 vextrel" ]] || status=1
    return $status
}
check deb-split deb_split

# Debian's own checker: no error. The warnings it gives are listed (README.md, "Packages", says why
# each remains).
run_lintian() {
    lintian --tag-display-limit 0 "$LIN"/packages/*.deb 2>&1 | grep -v 'root privileges' | tee "$WORK/lintian.txt"
    ((PIPESTATUS[0] <= 1)) && ! grep -q '^E:' "$WORK/lintian.txt"
}
check lintian run_lintian
show bash -c "grep -E '^[EW]:' '$WORK/lintian.txt' || echo 'no error, no warning'"

check find_package bash -c "cmake_args='-DCMAKE_PREFIX_PATH=$PREFIX'; \
    cmake -S '$CONSUMERS/cpp_host' -B '$WORK/cpp_host' -G Ninja \$cmake_args && cmake --build '$WORK/cpp_host' && \
    '$WORK/cpp_host/cpp_host'"

check pkg-config bash -c "export PKG_CONFIG_PATH='$PREFIX/$LIBDIR/pkgconfig'; \
    cc -std=c99 -Wall -Wextra -Werror '$CONSUMERS/host.c' \$(pkg-config --cflags --libs vextrel) -o '$WORK/c_host' && \
    LD_LIBRARY_PATH='$PREFIX/$LIBDIR' '$WORK/c_host'"

check dlopen bash -c "cc -std=c99 -Wall -Wextra -Werror -I'$PREFIX/include' '$CONSUMERS/dlopen_host.c' -ldl -o '$WORK/dlopen_host' && \
    '$WORK/dlopen_host' '$PREFIX/$LIBDIR/libvextrel.so.1'"

# Both Debian packages unpacked into a scratch root; the find_package consumer built against it.
from_deb() {
    local root=$WORK/debroot deb
    mkdir -p "$root"
    for deb in "$LIN"/packages/*.deb; do
        dpkg-deb -I "$deb" | grep -E 'Package|Version|Depends'
        dpkg -x "$deb" "$root" || return 1
    done
    cmake -S "$CONSUMERS/cpp_host" -B "$WORK/cpp_host_deb" -G Ninja -DCMAKE_PREFIX_PATH="$root/usr" &&
        cmake --build "$WORK/cpp_host_deb" &&
        grep -q "$root/usr" "$WORK/cpp_host_deb/CMakeCache.txt" &&
        LD_LIBRARY_PATH="$root/usr/$LIBDIR" "$WORK/cpp_host_deb/cpp_host"
}
check deb from_deb

# --- Windows ----------------------------------------------------------------------------------
if [[ ${1:-} != --no-windows ]] && command -v x86_64-w64-mingw32-gcc-posix >/dev/null; then
    WIN=$WORK/windows
    WPREFIX=$WORK/prefix-windows
    WINE_STATE=$WORK/wine
    wine_run() { "$ROOT/cmake/wine-run.sh" "$WINE_STATE" "$@"; }

    windows_install() {
        cmake_build "$ROOT" "$WIN" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
            -DCMAKE_BUILD_TYPE=Release -DVEXTREL_BUILD_TESTS=OFF -DVEXTREL_BUILD_BENCH=OFF -DVEXTREL_BUILD_EXAMPLES=OFF &&
            cmake --install "$WIN" --prefix "$WPREFIX" && (cd "$WIN" && cpack)
    }
    check windows-install windows_install
    show bash -c "cd '$WIN/packages' && ls -l *.zip | awk '{ printf \"%10d  %s\\n\", \$5, \$9 }'"

    # The zip holds the stripped DLL and program and stays under 2 MB; their debug files are in the
    # debug zip.
    ZIP=$WIN/packages/vextrel-$VERSION-win64.zip
    DEBUG_ZIP=$WIN/packages/vextrel-$VERSION-win64-debug.zip
    windows_zip() {
        unzip -l "$ZIP" && unzip -l "$DEBUG_ZIP" || return 1
        if unzip -Z1 "$ZIP" | grep '\.debug$'; then
            echo "debug files in the main zip"
            return 1
        fi
        # grep reads the whole listing (no -q): unzip must not meet a closed pipe.
        unzip -Z1 "$DEBUG_ZIP" | grep -E '(^|/)bin/vextrel\.dll\.debug$' >/dev/null &&
            (($(stat -c %s "$ZIP") < 2 * 1024 * 1024))
    }
    check windows-zip windows_zip
    show bash -c "cd '$WPREFIX' && find . -type f | sort"

    # vextrel.lib names every function of the header once, as an import from vextrel.dll.
    msvc_import_library() {
        local declared imported
        declared=$(grep -cE '^VEXTREL_API' "$ROOT/include/vextrel.h")
        imported=$(llvm-nm "$WPREFIX/lib/vextrel.lib" | grep -cE ' T __imp_Vextrel|^[0-9a-f]* [A-Z] __imp_Vextrel')
        llvm-readobj "$WPREFIX/lib/vextrel.lib" | grep -E 'Format|Arch' | sort | uniq -c
        echo "vextrel.lib: $imported imports, header: $declared functions"
        [[ $imported -eq $declared && $declared -eq 25 ]]
    }
    check windows-vextrel.lib msvc_import_library
    show bash -c "llvm-nm '$WPREFIX/lib/vextrel.lib' | grep -c '__imp_Vextrel' | sed 's/^/__imp_ symbols in vextrel.lib: /'"

    # A host object for the MSVC ABI, linked by lld-link with vextrel.lib and a kernel32 import
    # library made here for its one function: no Microsoft run-time or SDK is involved.
    lld_link_host() {
        local dir=$WORK/msvc_host
        mkdir -p "$dir"
        printf 'LIBRARY kernel32.dll\nEXPORTS\n  ExitProcess\n' >"$dir/kernel32.def"
        llvm-dlltool -m i386:x86-64 -d "$dir/kernel32.def" -l "$dir/kernel32.lib" &&
            clang --target=x86_64-pc-windows-msvc -ffreestanding -fno-stack-protector -mno-stack-arg-probe -O1 \
                -I"$WPREFIX/include" -c "$CONSUMERS/msvc_host.c" -o "$dir/msvc_host.obj" &&
            lld-link /nologo /nodefaultlib /entry:start /subsystem:console "$dir/msvc_host.obj" \
                "$WPREFIX/lib/vextrel.lib" "$dir/kernel32.lib" /out:"$dir/msvc_host.exe" &&
            cp "$WPREFIX/bin/vextrel.dll" "$dir/" && wine_run "$dir/msvc_host.exe"
    }
    check windows-lld-link lld_link_host

    mingw_host() {
        local dir=$WORK/mingw_host
        mkdir -p "$dir"
        x86_64-w64-mingw32-gcc-posix -std=c99 -Wall -Wextra -Werror -I"$WPREFIX/include" "$CONSUMERS/host.c" \
            -L"$WPREFIX/lib" -lvextrel -static-libgcc -o "$dir/c_host.exe" &&
            cp "$WPREFIX/bin/vextrel.dll" "$dir/" && wine_run "$dir/c_host.exe"
    }
    check windows-mingw-host mingw_host

    # A stack trace through the installed (stripped) DLL names the library's frame (VextrelStack, with
    # its source line) from the debug file beside the DLL; without that file the frame has no name.
    STACK=$WORK/stack_host
    stack_trace() {  # the MinGW host's stack lines, with or without the debug file
        mkdir -p "$STACK"
        cp "$WORK/mingw_host/c_host.exe" "$WPREFIX/bin/vextrel.dll" "$STACK/" || return 1
        rm -f "$STACK/vextrel.dll.debug"
        [[ $1 == with ]] && cp "$WPREFIX/bin/vextrel.dll.debug" "$STACK/"
        wine_run "$STACK/c_host.exe" stack | tee "$STACK/stack-$1-debug-file.txt"
        ((PIPESTATUS[0] == 0)) && grep -q '^Stacktrace' "$STACK/stack-$1-debug-file.txt"
    }
    names_with_debug_file() { stack_trace with && grep ': VextrelStack + 0x' "$STACK/stack-with-debug-file.txt"; }
    no_names_without_it() { stack_trace without && ! grep ': VextrelStack + 0x' "$STACK/stack-without-debug-file.txt"; }
    check windows-debug-file names_with_debug_file
    check windows-stripped no_names_without_it

    # The version resource, read back from the DLL: its type in the resource table and its strings.
    version_resource() {
        llvm-readobj --coff-resources "$WPREFIX/bin/vextrel.dll" | grep 'Type: VERSIONINFO' >/dev/null &&
            strings -el "$WPREFIX/bin/vextrel.dll" | grep --no-group-separator -A1 -E '^(FileVersion|ProductVersion|OriginalFilename)$' |
            tee -a /dev/stderr | grep -x "$(sed -nE 's/^project\(vextrel VERSION ([0-9.]+).*/\1/p' "$ROOT/CMakeLists.txt")" >/dev/null
    }
    check windows-version-resource version_resource
    show bash -c "strings -el '$WPREFIX/bin/vextrel.dll' | grep --no-group-separator -A1 -E '^(FileDescription|FileVersion|ProductVersion|OriginalFilename)$' | paste - - -d="
    WINEPREFIX=$WINE_STATE/prefix /usr/lib/wine/wineserver64 -k >/dev/null 2>&1 || true
fi

echo "packaging: $passed passed, $failed failed"
((failed == 0))
