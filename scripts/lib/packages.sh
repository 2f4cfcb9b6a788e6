# Installs the Debian packages given as arguments when some are missing: apt-get runs only then, as
# root or through sudo. The apt output goes to $LOGS/apt.log.
as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        echo "needs root to run: $*" >&2
        return 1
    fi
}

install_missing_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg -s "$package" 2>/dev/null | grep -q '^Status: install ok installed' || missing+=("$package")
    done
    ((${#missing[@]})) || return 0
    echo "installing: ${missing[*]}"
    mkdir -p "$LOGS"
    as_root apt-get -o DPkg::Lock::Timeout=600 update >"$LOGS/apt.log" 2>&1 &&
        as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y "${missing[@]}" \
            >>"$LOGS/apt.log" 2>&1 || {
        tail -n 30 "$LOGS/apt.log"
        echo "package installation failed (see $LOGS/apt.log)"
        return 1
    }
}
