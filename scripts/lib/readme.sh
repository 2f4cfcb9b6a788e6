# readme_block NAME: the lines of the README's fenced code block that follows the marker
# `<!-- checked: NAME -->`, so that the checks run the README's commands as written.
readme_block() {
    local readme
    readme=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/README.md
    awk -v marker="<!-- checked: $1 -->" '
        $0 == marker { found = 1; next }
        found && /^```/ { if (inside) exit; inside = 1; next }
        inside { print }' "$readme" | grep . || { echo "README.md has no block marked '$1'" >&2; return 1; }
}
