#!/usr/bin/env bash
# Fresh-machine check: the README's commands as a new user runs them, on a Debian 12 root made here
# with debootstrap that has only what a fresh machine of ours ships (`base` in scripts/packages.txt).
# Clones the committed HEAD of this repository into the root and, inside it (chroot):
#   demo           the README's demo command (scripts/run-demo.sh), which installs what it needs
#   install        the README's install commands, into /opt/vextrel
#   find_package   a host project made of the README's find_package lines, built and run
#   FetchContent   a host project made of the README's FetchContent lines, built and run
#   library-alone  that build holds none of Vextrel's test, bench or demo targets and no -Werror
#   library-path   a C host linked with cc against /opt/vextrel, run with the library path the
#                  README gives for a non-system prefix
#   all-tests      (only with --all-tests, for release checks) the whole test command
# Prints the time of each step and last "fresh-machine: N passed, M failed". Runs as root (debootstrap,
# chroot, mounts). The package mirror is the one of this machine's apt sources.
#
#   scripts/check-fresh-machine.sh [--all-tests] [--new-base] [--base-only]
#
# --base-only makes the base root when it is missing and stops there (the test command starts it in
# the background at its beginning: it waits mostly for the package mirror); its log is
# build/logs/fresh-machine-base.log.
#
# The root made by debootstrap with the base packages is kept in build/fresh-machine/base/ and never
# changed; each run works on a copy of it (an overlay when the kernel has one), so nothing that a
# command installed survives into the next run. --new-base makes the base root again.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
LOGS=$ROOT/build/logs
LOG=$LOGS/fresh-machine.log
WORK=$ROOT/build/fresh-machine
BASE=$WORK/base
MACHINE=$WORK/machine
# shellcheck source=scripts/lib/packages.sh
source "$ROOT/scripts/lib/packages.sh"
# shellcheck source=scripts/lib/readme.sh
source "$ROOT/scripts/lib/readme.sh"

all_tests=false
new_base=false
base_only=false
for argument in "$@"; do
    case $argument in
        --all-tests) all_tests=true ;;
        --new-base) new_base=true ;;
        --base-only) base_only=true ;;
        *) echo "unknown argument: $argument (options: --all-tests, --new-base, --base-only)" >&2; exit 2 ;;
    esac
done
$base_only && LOG=$LOGS/fresh-machine-base.log
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null && exec sudo "$0" "$@"
    echo "the fresh-machine check needs root (debootstrap, chroot, mounts)" >&2
    exit 1
fi
mkdir -p "$LOGS" "$WORK"
: >"$LOG"
passed=0
failed=0

# check NAME COMMAND...: runs the command with its output in the log, prints its result and time.
check() {
    local name=$1 start=$SECONDS
    shift
    echo "=== $name: $*" >>"$LOG"
    if "$@" >>"$LOG" 2>&1; then
        printf '  ok    %-14s %4d s\n' "$name" $((SECONDS - start))
        passed=$((passed + 1))
    else
        printf '  FAIL  %-14s %4d s (see %s)\n' "$name" $((SECONDS - start)) "$LOG"
        failed=$((failed + 1))
        return 1
    fi
}
finish() {
    echo "fresh-machine: $passed passed, $failed failed"
    ((failed == 0))
    exit
}

# --- The Debian root ---------------------------------------------------------------------------
# The Debian entries of this machine's apt sources, as "URI SUITE COMPONENT...", one a line.
debian_sources() {
    apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT) $(ORIGIN)' 'Identifier: Packages' |
        awk '$4 == "Debian" { key = $1 " " $2; if (!(key in components)) order[++n] = key
                               if (index(" " components[key] " ", " " $3 " ") == 0) components[key] = components[key] " " $3 }
             END { for (i = 1; i <= n; i++) print order[i] components[order[i]] }'
}
CODENAME=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")

# Mounts of a root: /proc, /dev (with its pseudo-terminals and shared memory); undone by unmount_root.
MOUNTED=()
mount_root() {
    local root=$1
    mount -t proc proc "$root/proc" && MOUNTED+=("$root/proc") || return 1
    mount --bind /dev "$root/dev" && MOUNTED+=("$root/dev") || return 1
    mount --bind /dev/pts "$root/dev/pts" && MOUNTED+=("$root/dev/pts") || return 1
    mount -t tmpfs tmpfs "$root/dev/shm" && MOUNTED+=("$root/dev/shm")
}
unmount_root() {
    local i pid
    # Processes left in the root (a wine server, say) hold its mounts.
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
        [[ $(readlink "/proc/$pid/root" 2>/dev/null) == "$1" ]] && kill -9 "$pid" 2>/dev/null
    done
    for ((i = ${#MOUNTED[@]} - 1; i >= 0; i--)); do
        umount "${MOUNTED[i]}" 2>/dev/null || umount -l "${MOUNTED[i]}"
    done
    MOUNTED=()
}

# in_root ROOT COMMAND: runs the bash command as root inside ROOT with a clean login environment.
# It runs in the background and is waited for, so that an interrupt runs the cleanup at once (bash
# runs a trap only after the foreground command has ended).
in_root() {
    env -i HOME=/root LANG=C.UTF-8 TERM=dumb PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        chroot "$1" /bin/bash -euo pipefail -c "$2" &
    wait $!
}

# The base root: debootstrap's minimal Debian, this machine's Debian sources, the base packages.
make_base() {
    local sources mirror packages
    sources=$(debian_sources)
    mirror=$(awk -v suite="$CODENAME" '$2 == suite { print $1; exit }' <<<"$sources")
    [[ -n $mirror ]] || { echo "no Debian $CODENAME entry in this machine's apt sources"; return 1; }
    install_missing_packages debootstrap || return 1
    rm -rf "$BASE.new"
    debootstrap --variant=minbase "$CODENAME" "$BASE.new" "$mirror" || return 1
    awk '{ printf "deb %s %s", $1, $2; for (i = 3; i <= NF; i++) printf " %s", $i; print "" }' \
        <<<"$sources" >"$BASE.new/etc/apt/sources.list"
    cat "$BASE.new/etc/apt/sources.list"
    # No service starts inside the root.
    printf '#!/bin/sh\nexit 101\n' >"$BASE.new/usr/sbin/policy-rc.d"
    chmod 755 "$BASE.new/usr/sbin/policy-rc.d"
    cp /etc/resolv.conf "$BASE.new/etc/resolv.conf"
    packages=$(packages_for base | tr '\n' ' ')
    mount_root "$BASE.new" &&
        in_root "$BASE.new" "apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $packages && apt-get clean"
    local status=$?
    unmount_root "$BASE.new"
    ((status == 0)) || return 1
    rm -rf "$BASE" && mv "$BASE.new" "$BASE"
}

# This run's machine: a copy of the base root (an overlay on it, or a full copy).
OVERLAY=""
make_machine() {
    rm -rf "$MACHINE" "$WORK/upper" "$WORK/overlay-work"
    mkdir -p "$MACHINE" "$WORK/upper" "$WORK/overlay-work"
    if mount -t overlay overlay -o "lowerdir=$BASE,upperdir=$WORK/upper,workdir=$WORK/overlay-work" "$MACHINE"; then
        OVERLAY=$MACHINE
    else
        rmdir "$MACHINE" && cp -a "$BASE" "$MACHINE"
    fi
    cp /etc/resolv.conf "$MACHINE/etc/resolv.conf"
    mount_root "$MACHINE"
}
cleanup() {
    unmount_root "$MACHINE"
    unmount_root "$BASE.new"
    [[ -n $OVERLAY ]] && { umount "$OVERLAY" 2>/dev/null || umount -l "$OVERLAY"; }
}
trap cleanup EXIT
trap 'exit 1' INT TERM

if $new_base || [[ ! -d $BASE ]]; then
    check base make_base || finish
else
    echo "  (the base root of build/fresh-machine/base/, made $(date -r "$BASE" '+%F %R'))"
fi
$base_only && finish
check machine make_machine || finish

# --- The README's commands in the root ---------------------------------------------------------
SOURCE=/usr/local/src/vextrel
# A clone of the committed HEAD, with `main` checked out as in a user's clone.
clone() {
    [[ -z $(git -C "$ROOT" status --porcelain --untracked-files=no) ]] ||
        echo "note: the work tree has changes that are not committed; the check uses HEAD"
    git clone --quiet --no-hardlinks "$ROOT" "$MACHINE$SOURCE" &&
        git -C "$MACHINE$SOURCE" checkout --quiet -B main &&
        git -C "$MACHINE$SOURCE" log --oneline -1
}
check clone clone || finish

check demo in_root "$MACHINE" "cd $SOURCE && $(readme_block demo)"
check install in_root "$MACHINE" "cd $SOURCE && $(readme_block install)"

# consumer NAME README-BLOCK [cmake arguments]: a host project of host.c and the README's lines.
consumer() {
    local name=$1 block=$2 dir=/root/$1
    shift 2
    mkdir -p "$MACHINE$dir"
    cp "$ROOT/tests/consumers/host.c" "$MACHINE$dir/"
    {
        echo 'cmake_minimum_required(VERSION 3.25)'
        echo 'project(my_host LANGUAGES C CXX)'
        echo 'add_executable(my_host host.c)'
        readme_block "$block"
    } >"$MACHINE$dir/CMakeLists.txt"
    cat "$MACHINE$dir/CMakeLists.txt"
    in_root "$MACHINE" "cmake -S $dir -B $dir/build -G Ninja $* && cmake --build $dir/build && $dir/build/my_host"
}
check find_package consumer find_package find_package -DCMAKE_PREFIX_PATH=/opt/vextrel
check FetchContent consumer fetchcontent fetchcontent
# That build holds the library alone: none of Vextrel's test, bench or demo targets, and no -Werror.
check library-alone in_root "$MACHINE" "test -f /root/fetchcontent/build/build.ninja &&
    ! ninja -C /root/fetchcontent/build -t targets all | grep -E '^[^:]*(gtest|vextrel_tests|e2e|bench_|demo_host|crash_probe)[^:]*:' &&
    ! ninja -C /root/fetchcontent/build -t commands | grep -e -Werror"
check library-path in_root "$MACHINE" "mkdir -p /root/cc && cd /root/cc && cp $SOURCE/tests/consumers/host.c . &&
    cc host.c -I/opt/vextrel/include -L/opt/vextrel/lib -lvextrel -o host &&
    if ./host; then echo 'the host ran without the library path'; exit 1; fi &&
    $(readme_block library-path) && ./host"

if $all_tests; then
    check all-tests in_root "$MACHINE" "cd $SOURCE && scripts/test-all.sh linux linux-asan linux-tsan windows bench fuzz packaging"
fi
finish
