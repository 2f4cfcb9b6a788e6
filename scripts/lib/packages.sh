# The Debian packages of each command (scripts/packages.txt) and their installation.
# Callers set LOGS (the apt output goes to $LOGS/apt.log).
VEXTREL_PACKAGE_LIST=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/packages.txt

# packages_for COMMAND: the packages that COMMAND (base, demo, install, test) needs, one a line.
packages_for() {
    sed 's/#.*//' "$VEXTREL_PACKAGE_LIST" |
        awk -v command="$1" 'NF >= 2 { n = split($2, c, ","); for (i = 1; i <= n; i++) if (c[i] == command) print $1 }'
}

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

# install_missing_packages PACKAGE...: apt-get runs only when some are missing, as root or through
# sudo. Without the packages' recommendations (wine's alone are a hundred more packages, fonts,
# printing and sound among them): the list names everything the commands use. A first argument
# --with-recommends installs them too (a browser that renders a page needs its fonts).
install_missing_packages() {
    local missing=() package recommends=--no-install-recommends
    [[ ${1:-} == --with-recommends ]] && { recommends=--install-recommends; shift; }
    for package in "$@"; do
        dpkg -s "$package" 2>/dev/null | grep '^Status: install ok installed' >/dev/null || missing+=("$package")
    done
    ((${#missing[@]})) || return 0
    echo "installing: ${missing[*]}"
    mkdir -p "$LOGS"
    as_root apt-get -o DPkg::Lock::Timeout=600 update >"$LOGS/apt.log" 2>&1 &&
        as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y $recommends \
            "${missing[@]}" \
            >>"$LOGS/apt.log" 2>&1 || {
        tail -n 30 "$LOGS/apt.log"
        echo "package installation failed (see $LOGS/apt.log)"
        return 1
    }
}

# install_packages_for COMMAND: installs what COMMAND needs when some of it is missing.
install_packages_for() {
    local packages
    mapfile -t packages < <(packages_for "$1")
    install_missing_packages "${packages[@]}"
}
