#!/usr/bin/env bash
# Checks that Windows binaries import only DLLs that every Windows system has: a DLL of the
# MinGW run-time (libwinpthread-1.dll, libstdc++-6.dll, libgcc_s_seh-1.dll) next to nothing would keep
# the library or a program from loading.
#
# Usage: check-imports.sh OBJDUMP BINARY...
set -euo pipefail

if [[ $# -lt 2 ]]; then
    echo "usage: $0 OBJDUMP BINARY..." >&2
    exit 2
fi
objdump=$1
shift

system_dll='^(kernel32|kernelbase|ntdll|msvcrt|ucrtbase|advapi32|user32|gdi32|shell32|shlwapi|ole32|oleaut32|ws2_32|bcrypt|crypt32|dbghelp|psapi|version|secur32|rpcrt4|userenv|api-ms-win-[a-z0-9-]+)\.dll$'

status=0
for binary in "$@"; do
    imports=$("$objdump" -p "$binary" | sed -nE 's/^[[:space:]]*DLL Name: (.*)$/\1/p')
    foreign=$(grep -viE "$system_dll" <<<"$imports" || true)
    echo "$(basename "$binary") imports: $(tr '\n' ' ' <<<"$imports")"
    if [[ -n $foreign ]]; then
        echo "  not a Windows system DLL: $(tr '\n' ' ' <<<"$foreign")"
        status=1
    fi
done
exit $status
