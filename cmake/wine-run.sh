#!/usr/bin/env bash
# Runs a Windows program under Wine: wine-run.sh STATE_FOLDER PROGRAM [ARGUMENT...]
#
# STATE_FOLDER (made on first use, inside the build folder) holds this build's own Wine prefix and
# the files that coordinate the callers. Under a lock, each caller makes sure a wineserver runs that
# will not end before the program has connected to it, boots the prefix the first time and starts
# the session of every new server, all with every standard stream away from the program's: Wine's
# background processes would otherwise inherit the test's captured output, and ctest would wait for
# them to exit. Every later program then pays only Wine's own start-up (a few tens of milliseconds).
#
# The server stays VEXTREL_WINE_LINGER seconds (120) after its last program ended, then shuts down
# over a few seconds in which it still holds its lock but takes no new program. A program started
# then would find no server to connect to and start one itself, with the program's own output
# streams and Wine's default linger. So the server is reused only while its linger cannot run out:
# while a program started here still runs (each holds a shared lock on STATE_FOLDER/running), or
# when the last start was less than half a linger ago; otherwise an idle server is stopped and a new
# one started.
#
# When Wine cannot start the server, boot the prefix or start a session, the program is not run:
# this prints what Wine printed and its exit status, and exits with status 125. Stop the server
# with `WINEPREFIX=STATE_FOLDER/prefix /usr/lib/wine/wineserver64 -k`.
set -euo pipefail

if [[ $# -lt 2 ]]; then
    echo "usage: $0 STATE_FOLDER PROGRAM [ARGUMENT...]" >&2
    exit 2
fi
state=$1
shift

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
linger=${VEXTREL_WINE_LINGER:-120}
mkdir -p "$state/prefix"
export WINEPREFIX="$state/prefix"
export WINELOADER="$wine"
export WINESERVER="$wineserver"
export WINEDEBUG="${WINEDEBUG:--all,err+module}"
# No crash debugger: a crashing program must end in failure, never be turned into a clean exit.
export WINEDLLOVERRIDES="winedbg.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
# No display: nothing here opens a window.
unset DISPLAY WAYLAND_DISPLAY

# Runs one preparing step with its output in a file; when it fails, says so with Wine's words and
# ends the script without running the program. The lock's descriptors are closed for everything
# started here, or a background process would hold the lock forever.
log=$(mktemp "$state/step.XXXXXX")
trap 'rm -f "$log"' EXIT
program=$1
refuse() {
    {
        echo "wine-run.sh: '$1' ended with exit status $2, so $program was not started. Wine printed:"
        cat "$log"
    } >&2
    exit 125
}
step() {
    local status=0
    "$@" </dev/null >"$log" 2>&1 8>&- 9>&- || status=$?
    ((status == 0)) || refuse "$*" "$status"
}

{
    flock 9
    # The running programs hold shared locks on this file: an exclusive lock is free only when none runs.
    idle=0
    if flock -n -x 8; then
        idle=1
        flock -u 8
    fi
    last_start=0
    [[ -e $state/started ]] && last_start=$(stat -c %Y "$state/started")
    # The running server's own linger counts (a caller may have started it with another).
    server_linger=$linger
    [[ -e $state/linger ]] && server_linger=$(<"$state/linger")
    if ((idle && $(date +%s) - last_start >= server_linger / 2)); then
        # Idle long enough that the linger may end at any moment (or is ending): start afresh.
        "$wineserver" -k </dev/null >/dev/null 2>&1 8>&- 9>&- || true
    fi
    # Exit status 0: this call started the server; 2: one already runs for the prefix.
    server_status=0
    "$wineserver" -p"$linger" </dev/null >"$log" 2>&1 8>&- 9>&- || server_status=$?
    ((server_status == 0 || server_status == 2)) || refuse "$wineserver -p$linger" "$server_status"
    ((server_status != 0)) || echo "$linger" >"$state/linger"
    if [[ ! -e $state/booted ]]; then
        step "$wine" wineboot -i
        touch "$state/booted"
    elif ((server_status == 0)); then
        # A new server of a booted prefix: start its background services here, or the program
        # below would start them with its own output streams and ctest would wait for them.
        step "$wine" wineboot
    fi
    touch "$state/started"
} 8>>"$state/running" 9>"$state/lock"

rm -f "$log"
# The program holds a shared lock on the running file for as long as it runs.
exec 8>>"$state/running"
flock -s 8
exec "$wine" "$@"
