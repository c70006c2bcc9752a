#!/usr/bin/env bash
# The command line without a display: --help and --version answer on stdout with status 0,
# an unknown option is refused on stderr with status 2. The program runs in a network
# namespace of its own, like every test program (skipped where none can be made).
# Usage: tests/cli_test.sh VELOMAR_BINARY VERSION
set -uo pipefail
velomar=$1
version=$2
if unshare -n true 2>/dev/null; then
    isolate=(unshare -n)
elif unshare -r -n true 2>/dev/null; then
    isolate=(unshare -r -n)
else
    echo "SKIPPED: needs root or unprivileged user namespaces"
    exit 77
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail=0
# Runs velomar with the arguments; checks its status, stdout (a grep pattern, or "" for
# none) and stderr (likewise).
check() {
    # shellcheck disable=SC2034  # read through ${!want} below
    local want_status=$1 want_out=$2 want_err=$3
    shift 3
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 10 "${isolate[@]}" \
        "$velomar" "$@" >"$scratch/out" 2>"$scratch/err"
    local status=$?
    local what="velomar $*"
    [ $status = "$want_status" ] ||
        { echo "FAILED: $what ended with status $status, not $want_status"; fail=1; }
    for stream in out err; do
        local want=want_$stream
        if [ -z "${!want}" ]; then
            [ ! -s "$scratch/$stream" ] ||
                { echo "FAILED: $what wrote to std$stream:"; cat "$scratch/$stream"; fail=1; }
        elif ! grep -qE "${!want}" "$scratch/$stream"; then
            echo "FAILED: $what: std$stream lacks /${!want}/:"; cat "$scratch/$stream"; fail=1
        fi
    done
}

check 0 "^velomar ${version//./\\.}\$" "" --version
check 0 "^velomar ${version//./\\.}\$" "" -v
check 0 "^Usage: velomar \[options\]\$" "" --help
grep -qE "^ +-v, --version " "$scratch/out" ||
    { echo "FAILED: --help does not list --version"; fail=1; }
check 2 "" "^velomar: Unknown option 'bogus'\.\$" --bogus
check 2 "" "^velomar: Unexpected argument 'x'\.\$" x
[ $fail = 0 ] && echo "command line ok"
exit $fail
