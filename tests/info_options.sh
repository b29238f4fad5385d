#!/usr/bin/env bash
# --help and --version print to stdout and exit with status 0, with no display at all (before Qt
# looks for one) and without creating a window.
#   tests/info_options.sh PATH-TO-ostrevo-setup VERSION
set -euo pipefail
program=$1
version=$2
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

fail() {
    echo "FAIL: $1" >&2
    echo "--- stdout:" >&2
    cat "$out" >&2
    echo "--- stderr:" >&2
    cat "$err" >&2
    exit 1
}

# Runs the program with no display and the given arguments; sets status.
run() {
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 10 "$program" "$@" >"$out" 2>"$err" </dev/null ||
        status=$?
    [ $status -eq 0 ] || fail "$*: exit status $status, expected 0"
    [ ! -s "$err" ] || fail "$*: it wrote to stderr"
}

for option in --version -v; do
    run "$option"
    [ "$(head -n 1 "$out")" = "ostrevo-setup $version" ] || fail "$option: the first line is not \"ostrevo-setup $version\""
    grep -Eq "^Build $version( \(commit [0-9a-f]+\))? of [0-9]{4}-[0-9]{2}-[0-9]{2}$" "$out" ||
        fail "$option: no build line"
    grep -Eq '^Qt [0-9]+\.[0-9]+\.[0-9]+ \(built with Qt [0-9.]+\)$' "$out" || fail "$option: no Qt version"
done

for option in --help -h; do
    run "$option"
    grep -q '^Usage: ostrevo-setup ' "$out" || fail "$option: no usage line"
    grep -q -- '--version' "$out" || fail "$option: --version is not listed"
    grep -q 'XDG_STATE_HOME' "$out" || fail "$option: the error log's folder is not named"
done

# With other arguments around it, --version still answers alone.
run -style fusion --version
[ "$(head -n 1 "$out")" = "ostrevo-setup $version" ] || fail "--version after Qt options"
echo "PASS: --version and --help"
