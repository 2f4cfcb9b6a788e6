#!/usr/bin/env bash
# Runs a Windows program under Wine: wine-run.sh STATE_FOLDER PROGRAM [ARGUMENT...]
#
# STATE_FOLDER (made on first use, inside the build folder) holds this build's own Wine prefix and a
# lock file. The first caller, under the lock, starts a persistent wineserver and boots the prefix,
# both with every standard stream on /dev/null: Wine's background processes would otherwise inherit
# the test's captured output, and ctest would wait for them to exit. Every later program then pays
# only Wine's own start-up (a few tens of milliseconds). Stop the server with
# `WINEPREFIX=STATE_FOLDER/prefix /usr/lib/wine/wineserver64 -k`.
set -euo pipefail

if [[ $# -lt 2 ]]; then
    echo "usage: $0 STATE_FOLDER PROGRAM [ARGUMENT...]" >&2
    exit 2
fi
state=$1
shift

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
mkdir -p "$state/prefix"
export WINEPREFIX="$state/prefix"
export WINELOADER="$wine"
export WINESERVER="$wineserver"
export WINEDEBUG="${WINEDEBUG:--all}"
# No crash debugger: a crashing program must end in failure, never be turned into a clean exit.
export WINEDLLOVERRIDES="winedbg.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
# No display: nothing here opens a window.
unset DISPLAY WAYLAND_DISPLAY

{
    flock 9
    # Exit status 0: this call started the server; 2: one already runs for the prefix. The lock's
    # descriptor is closed for everything started here, or the server would hold the lock forever.
    server_status=0
    "$wineserver" -p120 </dev/null >/dev/null 2>&1 9>&- || server_status=$?
    if [[ ! -e $state/booted ]]; then
        "$wine" wineboot -i </dev/null >/dev/null 2>&1 9>&-
        touch "$state/booted"
    elif [[ $server_status -eq 0 ]]; then
        # A new server of a booted prefix: start its background services here, or the program
        # below would start them with its own output streams and ctest would wait for them.
        "$wine" wineboot </dev/null >/dev/null 2>&1 9>&-
    fi
} 9>"$state/lock"

exec "$wine" "$@"
