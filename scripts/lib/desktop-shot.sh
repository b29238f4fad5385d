# shellcheck shell=bash
# Run by scripts/screenshots --desktop inside a private X server (xvfb-run): the demo on a desktop of the
# given size, with or without a window manager, at a display scale; the graph shown (View Graphic) and a
# long notice in the status bar; the whole screen saved to $1.
# Usage: desktop-shot.sh OUT.png wm|none SCALE [MESSAGES.png]
set -euo pipefail
out=$1 wm=$2 scale=$3 messages=${4:-}
home=$(mktemp -d "${TMPDIR:-/tmp}/ostrevo-shot.XXXXXX")
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$home"
}
trap cleanup EXIT
if [ "$wm" = wm ]; then
    openbox --sm-disable >/dev/null 2>&1 &
    pids+=("$!")
    sleep 1
fi
mkdir -m 700 "$home/run"
# The demo's detector takes commands on the program's standard input: an intruder walks past.
{
    sleep 2
    echo intruder
    sleep 40
} | XDG_CONFIG_HOME="$home/config" XDG_STATE_HOME="$home/state" XDG_RUNTIME_DIR="$home/run" \
    QT_SCALE_FACTOR="$scale" build/ostrevo-setup --demo >/dev/null 2>&1 &
pids+=("$!")
window=$(xdotool search --sync --name '^Ostrevo SetUp$' | head -1)
sleep 5
key() {
    xdotool windowactivate --sync "$window" >/dev/null 2>&1 || xdotool windowfocus --sync "$window"
    xdotool key "$@"
    sleep 1
}
# To the LOGS tab and back: the status bar tells, at length, what the LOGS tab pauses.
key ctrl+Tab
key ctrl+Tab
key alt+v
sleep 2
import -window root "$out"
if [ -n "$messages" ]; then
    key ctrl+m
    import -window "$(xdotool search --sync --name '^Messages$' | head -1)" "$messages"
fi
