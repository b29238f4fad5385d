#!/usr/bin/env bash
# Started with no display at all, the program must not show itself anywhere else: it prints one line
# on stderr saying what to do and exits with status 1, before Qt looks for a display.
#   tests/no_display_exit.sh PATH-TO-ostrevo-setup
set -euo pipefail
program=$1
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 10 "$program" >"$out" 2>"$err" </dev/null || status=$?

fail() {
    echo "FAIL: $1" >&2
    echo "--- exit status $status; stderr:" >&2
    cat "$err" >&2
    exit 1
}
[ $status -ne 124 ] || fail "the program started instead of refusing (still running after 10 s)"
[ $status -eq 1 ] || fail "exit status $status, expected 1"
[ ! -s "$out" ] || fail "it wrote to stdout"
[ "$(wc -l <"$err")" -eq 1 ] || fail "stderr is not exactly one line"
grep -q 'no display' "$err" || fail "the line does not say there is no display"
grep -q 'desktop session' "$err" || fail "the line does not mention a desktop session"
grep -q 'scripts/run' "$err" || fail "the line does not mention scripts/run"
echo "PASS: $(cat "$err")"
