# Shared by the packaging test scripts: failures are collected and reported
# together, the scratch folder goes away at the end.
set -uo pipefail

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# Stops at once: what follows cannot be checked.
die() {
    echo "FAIL: $*" >&2
    exit 1
}
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/quillan-packaging.XXXXXX") || die "no scratch folder"
trap 'rm -rf "$scratch"' EXIT
# A fresh registry and home for every run, inside the scratch folder.
mkdir -p "$scratch/home" "$scratch/data" "$scratch/registry"
export HOME=$scratch/home XDG_DATA_HOME=$scratch/data QUILLAN_REGISTRY_DIR=$scratch/registry

# Files and links below a folder, relative to it, sorted.
tree_list() {
    (cd "$1" && find . \( -type f -o -type l \) -printf '%P\n' | LC_ALL=C sort)
}

# ELF files below a folder.
elf_files() {
    find "$1" -type f -print0 | while IFS= read -r -d '' f; do
        [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ] && printf '%s\n' "$f"
    done
}

# Waits up to $1 seconds for the command in the remaining arguments to
# succeed, checking every tenth of a second.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -ge "$deadline" ] && return 1
        sleep 0.1
    done
}
