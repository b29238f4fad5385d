# shellcheck shell=bash
# Run by scripts/windows --check-install on a private X server (xvfb-run), under ostrevo-line-peer --sim: the
# Linux virtual detector is on COM5 of wine's prefix, and the peer takes commands for it on COM9. Installs
# SETUP silently (/S) and checks the installed program as an installer would meet it:
#  - the program's folder, its Start-menu entries and its uninstaller are there;
#  - started from its Start-menu entry, with COM5 the port it remembers, Connect (Alt+N) reaches the detector,
#    which answers its polls, and the levels on the screen move;
#  - Save To Device (Alt+S) sends one settings frame, and the polls go on after its read-back;
#  - SHOT: the window during an intruder's walk past the detector;
#  - the demo's entry starts the program with its virtual detector, which answers without any port;
#  - the silent uninstall leaves nothing of it but the user's own files.
# Usage: windows-check-install.sh SETUP.exe SHOT.png
set -euo pipefail
setup=$1 shot=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/ostrevo-windows-check.XXXXXX")
started=()
cleanup() {
    local p
    for p in "${started[@]}"; do kill "$p" 2>/dev/null || true; done
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "check-install: $*" >&2
    # What the screen showed then, for whoever reads the failure.
    import -window root "$(dirname "$shot")/check-install-failure.png" 2>/dev/null &&
        echo "check-install: the screen at the failure: $(dirname "$shot")/check-install-failure.png" >&2
    exit 1
}
# wine's server for the prefix, silenced (it prints its whole state when a line hangs up) and waited for.
server=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX")) # (its folder: /tmp/wine-*/ or /tmp/.wine-<uid>/)
wineserver -p30 >/dev/null 2>&1 </dev/null || true
for _ in $(seq 50); do
    compgen -G "/tmp/wine-*/$server/socket" >/dev/null || compgen -G "/tmp/.wine-$(id -u)/$server/socket" >/dev/null &&
        break
    sleep 0.1
done
# A window manager, as on a desktop: it frames and activates the windows.
openbox --sm-disable >/dev/null 2>&1 &
started+=("$!")
# The virtual detector's commands, through the peer's control line.
exec 3<>"$WINEPREFIX/dosdevices/com9"
sim() {
    local answer
    printf 'sim %s\n' "$1" >&3
    IFS= read -r -t 10 answer <&3 || fail "the virtual detector did not answer \"$1\""
    echo "${answer%$'\r'}"
}
# The detector's count of replies or settings frames so far.
count() {
    sim status | sed -n "s/.*$1 \\([0-9]*\\).*/\\1/p"
}
# Waits up to $1 seconds for the command in the remaining arguments (run again each time) to succeed.
within() {
    local seconds=$1
    shift
    local end=$((SECONDS + seconds))
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.5
    done
}
windows_path() { winepath -u "$(wine cmd /c "echo $1" 2>/dev/null | tr -d '\r')"; }

# 1. The silent install, and what it leaves.
wine "$setup" /S || fail "the installer failed"
installed() { find "$WINEPREFIX/drive_c" -name ostrevo-setup.exe -path '*Ostrevo SetUp*' 2>/dev/null | grep -q .; }
within 30 installed || fail "no program after the silent install"
program=$(find "$WINEPREFIX/drive_c" -name ostrevo-setup.exe -path '*Ostrevo SetUp*' | head -1)
folder=$(dirname "$program")
menu=$(find "$WINEPREFIX/drive_c" -type d -path '*Start Menu/Programs/Ostrevo SetUp' | head -1)
[ -n "$menu" ] || fail "no Start-menu folder"
for entry in "Ostrevo SetUp.lnk" "Demo with a Virtual Detector.lnk" "Uninstall Ostrevo SetUp.lnk"; do
    [ -f "$menu/$entry" ] || fail "no Start-menu entry $entry"
done
for file in Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll platforms/qwindows.dll SIREN1.WAV Uninstall.exe; do
    [ -f "$folder/$file" ] || fail "$file is missing from $folder"
done
echo "check-install: installed in ${folder#"$WINEPREFIX/"}, Start-menu entries in ${menu#"$WINEPREFIX/"}"

# 2. Started from its Start-menu entry, with COM5 remembered: Connect, the polls, the levels moving. (The
# window's place and size are not remembered from an earlier run.)
settings="$(windows_path '%APPDATA%')/ostrevo-setup"
mkdir -p "$settings"
printf '[port]\nname=COM5\n' >"$settings/ostrevo-setup.ini"
wine start /unix "$menu/Ostrevo SetUp.lnk" >/dev/null 2>&1
window=$(timeout 60 xdotool search --sync --name '^Ostrevo SetUp$' | head -1) || fail "no window from the Start-menu entry"
key() {
    xdotool windowactivate --sync "$window" >/dev/null 2>&1 || xdotool windowfocus "$window"
    xdotool key "$@"
}
sleep 2
# More replies than before, by $2.
polledSince() { [ "$(count replies)" -ge $(($1 + $2)) ]; }
before=$(count replies)
key alt+n
within 20 polledSince "$before" 40 || fail "Connect: the detector on COM5 was not polled (replies $(count replies), $before before)"
import -window root "$work/a.png"
sleep 1.5
import -window root "$work/b.png"
moved=$(compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 || true)
[ "${moved%% *}" -gt 100 ] 2>/dev/null || fail "the window did not change while polling (${moved} pixels)"
echo "check-install: connected to COM5 from the Start-menu entry, $(count replies) replies, the levels moving"

# 3. Save To Device: one settings frame, then the read-back and the polls again.
frames=$(count "settings frames")
key alt+s
stored() { [ "$(count "settings frames")" -eq $((frames + 1)) ]; }
within 10 stored || fail "Save To Device sent no settings frame"
within 10 polledSince "$(count replies)" 20 || fail "the polls did not go on after Save To Device"
sleep 1
[ "$(count "settings frames")" -eq $((frames + 1)) ] || fail "more than one settings frame was sent"
echo "check-install: Save To Device sent one settings frame, and was read back"
key ctrl+q
gone() { ! xdotool search --name '^Ostrevo SetUp$' >/dev/null 2>&1; }
within 15 gone || fail "the program did not end on Ctrl+Q"

# The picture of the README: the program started again (here by its path: wine gives a program started from a
# shortcut another font than Tahoma), connected to COM5, while an intruder walks past.
wine "$program" >/dev/null 2>&1 &
started+=("$!")
window=$(timeout 60 xdotool search --sync --name '^Ostrevo SetUp$' | head -1) || fail "no window for the picture"
sleep 2
key alt+n
within 20 polledSince "$(count replies)" 20 || fail "no polls for the picture"
sim intruder >/dev/null
sleep 1.5
import -window root "$work/c.png"
# (Without wine's own title bar, which lacks the glyphs of its buttons here.)
convert "$work/c.png" -trim +repage -gravity North -chop 0x20 "$shot"
key ctrl+q
within 15 gone || fail "the program did not end on Ctrl+Q"

# 4. The demo's entry: the virtual detector inside the program, no port needed. The entry starts the program
# with --demo; run so, the program says on its standard output when the detector answers.
strings -el "$menu/Demo with a Virtual Detector.lnk" | grep -qx -- '--demo' || fail "the demo's entry does not ask for --demo"
wine start /unix "$menu/Demo with a Virtual Detector.lnk" >/dev/null 2>&1
window=$(timeout 60 xdotool search --sync --name '^Ostrevo SetUp$' | head -1) || fail "no window from the demo's entry"
# (A key pressed while wine is still mapping the window can go nowhere: it is pressed again after a while.)
quit() {
    key ctrl+q
    within 5 gone
}
quit || quit || quit || fail "the demo did not end on Ctrl+Q"
wine "$program" --demo >"$work/demo.log" 2>&1 &
started+=("$!")
within 30 grep -qs "demo: connected to the virtual detector on Virtual Detector, which answers the polls" "$work/demo.log" ||
    fail "the demo's detector did not answer: $(cat "$work/demo.log")"
echo "check-install: the demo's virtual detector answers the polls, without a port"
window=$(xdotool search --name '^Ostrevo SetUp$' | head -1)
key ctrl+q
within 15 gone || fail "the demo did not end on Ctrl+Q"

# 5. The silent uninstall: the program's files, its entries and its registry keys go; the settings stay.
wine "$folder/Uninstall.exe" /S
within 30 test ! -e "$folder/ostrevo-setup.exe" || fail "the uninstaller left the program"
within 10 test ! -e "$menu" || fail "the uninstaller left the Start-menu folder"
within 10 test ! -e "$folder" || fail "the uninstaller left $folder: $(find "$folder")"
[ -f "$settings/ostrevo-setup.ini" ] || fail "the uninstaller took the user's settings"
echo "check-install: the silent uninstall removed the program, its folder and its entries"
