# A private desktop for machines with no display, looked at in a browser. Sourced by scripts/run
# after scripts/lib/packages.sh.
#
# Nothing of it is reachable from the network, and on this machine only by its owner:
#   Xvnc        the X server with the VNC server built in; X only on its local socket with a cookie
#               of its own, VNC on no TCP port at all, only on a Unix socket in a private directory,
#               and only with a password made afresh for every run;
#   openbox     a small window manager, so that the windows can be moved;
#   websockify  (scripts/lib/browser_view.py) serves noVNC and bridges it to that socket, on 127.0.0.1
#               only, on a port it binds itself (the kernel's choice, told back once it listens), only
#               for programs of its owner (any other user's connection is closed at once), at most 16
#               at a time, each with a few seconds for its request head, and only for a WebSocket that
#               carries this run's token and comes from a page of its own origin: any other gets 403
#               before a byte reaches the VNC server, so a stranger can neither guess at the password
#               nor make the VNC server turn its owner away (its blacklist is off: only the token's
#               holder reaches it).
# The token and the password travel in the address's fragment, which a browser never sends to a server;
# noVNC sends the token in its WebSocket's path, which the log never shows. From another machine the
# page is reached through an ssh tunnel.

OSTREVO_HEADLESS_PACKAGES=(tigervnc-standalone-server tigervnc-tools xauth openbox novnc python3-websockify iproute2)
# What --check-headless needs besides: finding the window and taking the screenshot.
OSTREVO_HEADLESS_CHECK_PACKAGES=(xdotool imagemagick x11-utils)
OSTREVO_HEADLESS_GEOMETRY=1280x800

OSTREVO_HEADLESS_PIDS=() # in the order started; stopped in the reverse order
OSTREVO_HEADLESS_DIR=""
OSTREVO_HEADLESS_PORT=""
OSTREVO_HEADLESS_BRIDGE=""
OSTREVO_HEADLESS_URL=""
OSTREVO_HEADLESS_PASSWORD=""
OSTREVO_HEADLESS_TOKEN=""
declare -A OSTREVO_HEADLESS_VITAL=() # the X server and the browser view: pid -> what its end means

ostrevo_have_display() {
    [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]
}

# True while process $1 exists and is not a zombie. Reads /proc, so procps is not needed.
ostrevo_alive() {
    local line
    { read -r line <"/proc/$1/stat"; } 2>/dev/null || return 1
    line=${line##*) }
    [ "${line%% *}" != Z ]
}

# Sets OSTREVO_DESCENDANTS to the ids of every process below process $1.
ostrevo_descendants() {
    local -A children=()
    local stat line pid ppid child
    for stat in /proc/[0-9]*/stat; do
        { read -r line <"$stat"; } 2>/dev/null || continue
        pid=${stat#/proc/}
        pid=${pid%/stat}
        line=${line##*) }
        read -r _ ppid _ <<<"$line"
        children[$ppid]+=" $pid"
    done
    OSTREVO_DESCENDANTS=()
    local queue=("$1")
    while [ ${#queue[@]} -gt 0 ]; do
        pid=${queue[0]}
        queue=("${queue[@]:1}")
        for child in ${children[$pid]:-}; do
            if [ "$child" = "$BASHPID" ]; then continue; fi
            OSTREVO_DESCENDANTS+=("$child")
            queue+=("$child")
        done
    done
}

# Ends process $1 and everything it started: TERM to it first, so that a program that ends its own
# children (the demo's virtual detector) does so in its own order; after at most 3 s TERM to whatever
# it left, then KILL for whatever is left 3 s later.
ostrevo_stop_process() {
    local pid=$1 p n
    ostrevo_descendants "$pid"
    local family=("$pid" "${OSTREVO_DESCENDANTS[@]}")
    kill -TERM "$pid" 2>/dev/null || true
    for ((n = 0; n < 30; n++)); do
        if ! ostrevo_alive "$pid"; then break; fi
        sleep 0.1
    done
    kill -TERM "${family[@]}" 2>/dev/null || true
    for ((n = 0; n < 30; n++)); do
        local left=0
        for p in "${family[@]}"; do if ostrevo_alive "$p"; then left=1; fi; done
        if [ $left -eq 0 ]; then break; fi
        sleep 0.1
    done
    kill -KILL "${family[@]}" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

# Sets OSTREVO_NUMBER to the number on the first line of file $1, once that line is complete.
ostrevo_read_number() {
    local line
    { IFS= read -r line <"$1"; } 2>/dev/null && [[ $line =~ ^[0-9]+$ ]] && OSTREVO_NUMBER=$line
}

# Waits up to 10 s for a condition ($2...) while process $1 lives.
ostrevo_wait_for() {
    local pid=$1
    shift
    local deadline=$((${EPOCHREALTIME/./} + 10000000))
    while [ "${EPOCHREALTIME/./}" -lt $deadline ]; do
        "$@" && return 0
        ostrevo_alive "$pid" || return 1
        sleep 0.1
    done
    return 1
}

# Starts the private desktop and exports DISPLAY and XAUTHORITY for it. Logs go to build/headless-*.log,
# readable by their owner only.
ostrevo_headless_start() {
    ostrevo_install_package_list "${OSTREVO_HEADLESS_PACKAGES[@]}"
    OSTREVO_HEADLESS_DIR=$(mktemp -d "${TMPDIR:-/tmp}/ostrevo-view.XXXXXX")
    local dir=$OSTREVO_HEADLESS_DIR
    local auth="$dir/Xauthority"
    local log
    for log in xvnc openbox websockify; do
        rm -f "build/headless-$log.log"
        (umask 077 && : >"build/headless-$log.log")
    done

    # The X server accepts every cookie in its -auth file whatever display it ends up on; clients need
    # an entry for that display, so the placeholder is replaced once Xvnc has picked a free one.
    local cookie
    cookie=$(od -An -tx1 -N16 /dev/urandom | tr -d ' \n')
    touch "$auth"
    # The cookie goes to xauth on its standard input, never on a command line others can read.
    printf 'add :0 . %s\n' "$cookie" | xauth -q -f "$auth" source -
    # VNC's own authentication takes eight characters at most (62^8); only the token's holder gets as
    # far as trying one.
    local letters
    letters=$(head -c 1024 /dev/urandom | tr -dc 'A-Za-z0-9')
    OSTREVO_HEADLESS_PASSWORD=${letters:0:8}
    OSTREVO_HEADLESS_TOKEN=${letters:8:32} # 190 bits: what opens the way to the VNC server at all
    (umask 077 && printf '%s\n' "$OSTREVO_HEADLESS_PASSWORD" | vncpasswd -f >"$dir/passwd")
    local server
    Xvnc -displayfd 3 -auth "$auth" -nolisten tcp \
        -rfbport -1 -rfbunixpath "$dir/vnc" -SecurityTypes VncAuth -PasswordFile "$dir/passwd" -AlwaysShared \
        -UseBlacklist=0 \
        -geometry "$OSTREVO_HEADLESS_GEOMETRY" -depth 24 -desktop "Ostrevo SetUp" \
        3>"$dir/display" >>build/headless-xvnc.log 2>&1 &
    server=$!
    OSTREVO_HEADLESS_PIDS+=("$server")
    if ! ostrevo_wait_for "$server" ostrevo_read_number "$dir/display" || [ ! -S "$dir/vnc" ]; then
        echo "The private X server did not start; see build/headless-xvnc.log" >&2
        return 1
    fi
    local display=$OSTREVO_NUMBER
    printf 'remove :0\nadd :%s . %s\n' "$display" "$cookie" | xauth -q -f "$auth" source -
    export DISPLAY=":$display" XAUTHORITY="$auth"
    unset WAYLAND_DISPLAY

    openbox --sm-disable >>build/headless-openbox.log 2>&1 &
    OSTREVO_HEADLESS_PIDS+=("$!")

    # The bridge binds a port of the kernel's choice and tells it on fd 3 once it listens: the printed
    # address is its own, whatever another program does meanwhile. The token goes on standard input,
    # never on a command line others can read. Debian's Python, whose websockify it is, whatever
    # python3 comes first on the PATH.
    local bridge
    /usr/bin/python3 scripts/lib/browser_view.py >>build/headless-websockify.log 2>&1 3>"$dir/port" <<SETTINGS &
listen=127.0.0.1
web=/usr/share/novnc
target=$dir/vnc
token=$OSTREVO_HEADLESS_TOKEN
log=$PWD/build/headless-websockify.log
portfd=3
SETTINGS
    bridge=$!
    OSTREVO_HEADLESS_PIDS+=("$bridge")
    if ! ostrevo_wait_for "$bridge" ostrevo_read_number "$dir/port"; then
        echo "The browser view did not start; see build/headless-websockify.log" >&2
        return 1
    fi
    OSTREVO_HEADLESS_PORT=$OSTREVO_NUMBER
    OSTREVO_HEADLESS_BRIDGE=$bridge
    OSTREVO_HEADLESS_VITAL=([$server]="The private desktop's X server (Xvnc) has ended; see build/headless-xvnc.log."
        [$bridge]="The browser view (websockify) has ended; see build/headless-websockify.log.")
    # noVNC reads its settings from the fragment too: the WebSocket's path carries the token.
    OSTREVO_HEADLESS_URL="http://127.0.0.1:$OSTREVO_HEADLESS_PORT/vnc.html#autoconnect=1&path=websockify%3Ftoken%3D$OSTREVO_HEADLESS_TOKEN&password=$OSTREVO_HEADLESS_PASSWORD"
}

# Waits for process $1 (the program shown on the private desktop; or the first of $@) to end and
# returns its status; should the X server or the browser view end first, the program can no longer be
# seen: says so and returns 1.
ostrevo_headless_wait() {
    local ended="" status=0
    wait -n -p ended "$@" "${!OSTREVO_HEADLESS_VITAL[@]}" || status=$?
    if [ -n "$ended" ] && [ -n "${OSTREVO_HEADLESS_VITAL[$ended]:-}" ]; then
        echo "${OSTREVO_HEADLESS_VITAL[$ended]} Ostrevo SetUp can no longer be seen, so it is stopped." >&2
        return 1
    fi
    return $status
}

ostrevo_headless_explain() {
    local port=$OSTREVO_HEADLESS_PORT
    cat <<MSG
No display: Ostrevo SetUp is shown on a private desktop that only your own programs can reach.
  Open  $OSTREVO_HEADLESS_URL
  The address holds this run's token and password (after "#"): they open the desktop, so keep them to yourself.
  On another machine, open the same address after:  ssh -L $port:127.0.0.1:$port $(id -un)@${HOSTNAME:-this-machine}
  Closing the program, or Ctrl-C here, stops the private desktop.
MSG
}

# Stops everything ostrevo_headless_start (and the check) started; safe to call more than once.
ostrevo_headless_stop() {
    local i
    for ((i = ${#OSTREVO_HEADLESS_PIDS[@]} - 1; i >= 0; i--)); do
        ostrevo_stop_process "${OSTREVO_HEADLESS_PIDS[i]}"
    done
    OSTREVO_HEADLESS_PIDS=()
    OSTREVO_HEADLESS_VITAL=()
    if [ -n "$OSTREVO_HEADLESS_DIR" ]; then rm -rf "$OSTREVO_HEADLESS_DIR"; fi
    OSTREVO_HEADLESS_DIR=""
}

# The browser view as its owner and as strangers meet it (scripts/lib/vnc_probe.py): noVNC's page is
# served; a WebSocket without the run's token, or from a foreign page or none, gets 403, 25 times in a
# row; no more than 16 connections are taken at once, and a request head that comes too slowly is cut
# off; the VNC server asks for a password, gives no picture for a wrong one and turns nobody away after
# a few; with the printed address the desktop shows; as root, the owner's page loads while another user
# floods the bridge (its times printed); and refused connections in parallel fill the bridge's log to
# its cap and no further.
ostrevo_headless_probe_web() {
    printf '%s\n' "$2" | timeout 120 python3 scripts/lib/vnc_probe.py "$1" --log build/headless-websockify.log
}

# Another user's program, with the token even, gets no answer: tried as "nobody" where this is root
# (the script reaches it on a descriptor: its folder may be closed to others).
ostrevo_headless_probe_other_user() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "  (not run as root: a connection of another user is not tried)"
        return 0
    fi
    printf '%s\n' "$2" | timeout 10 setpriv --reuid=65534 --regid=65534 --clear-groups \
        /usr/bin/python3 /dev/fd/3 "$1" --other-user 3<scripts/lib/vnc_probe.py
}

# Fails with a message if a process of this script (or one started below it) listens anywhere but
# on the loopback; prints the listening sockets it looked at.
ostrevo_headless_check_listeners() {
    ostrevo_descendants $$
    local -A ours=()
    local pid
    for pid in "${OSTREVO_DESCENDANTS[@]}"; do ours[$pid]=1; done
    local line local_address rest mine bad=0 seen_web=0
    while read -r line; do
        read -r _ _ _ _ local_address _ <<<"$line"
        mine=0
        rest=$line
        while [[ $rest =~ pid=([0-9]+)(.*) ]]; do
            if [ -n "${ours[${BASH_REMATCH[1]}]:-}" ]; then mine=1; fi
            rest=${BASH_REMATCH[2]}
        done
        [ $mine -eq 1 ] || continue
        echo "  $line"
        case $local_address in
        127.0.0.1:* | \[::1\]:*) ;;
        *)
            echo "Listens beyond this machine: $line" >&2
            bad=1
            ;;
        esac
        if [ "$local_address" = "127.0.0.1:$OSTREVO_HEADLESS_PORT" ]; then seen_web=1; fi
    done < <(ss -ltunpH)
    if [ $seen_web -eq 0 ]; then
        echo "The browser view is not listening on 127.0.0.1:$OSTREVO_HEADLESS_PORT" >&2
        bad=1
    fi
    return $bad
}

ostrevo_headless_window_shown() {
    timeout 2 xdotool search --onlyvisible --name '^Ostrevo SetUp$' >/dev/null
}

# The main window as the window manager sees it, with no input event since it appeared: faded in
# to 250 of 255 (the property is 250/255 of 0xFFFFFFFF), and a window that may be maximised (no
# Motif hints, or hints that keep the maximise button, 0x40).
ostrevo_headless_check_window() {
    local win opacity hints decorations flags
    win=$(timeout 2 xdotool search --onlyvisible --name '^Ostrevo SetUp$' | head -n 1)
    opacity=$(timeout 2 xprop -id "$win" _NET_WM_WINDOW_OPACITY | sed -n 's/.* = //p')
    if [ "$opacity" != "4210752250" ]; then
        echo "Headless check failed: the window's opacity is ${opacity:-unset}, not 250 of 255, with no input" >&2
        return 1
    fi
    hints=$(timeout 2 xprop -id "$win" _MOTIF_WM_HINTS | sed -n 's/.* = //p')
    decorations=$(echo "$hints" | cut -d, -f3)
    flags=$(echo "$hints" | cut -d, -f1)
    if [ -n "$hints" ] && [ $((flags & 2)) -ne 0 ] && [ $((decorations & 1)) -eq 0 ] && [ $((decorations & 0x40)) -eq 0 ]; then
        echo "Headless check failed: the title bar offers no maximise (Motif hints $hints)" >&2
        return 1
    fi
}

# scripts/run --check-headless: the program on the private desktop, as a user with no display gets it.
ostrevo_headless_check() {
    ostrevo_install_package_list "${OSTREVO_HEADLESS_PACKAGES[@]}" "${OSTREVO_HEADLESS_CHECK_PACKAGES[@]}"
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
    ostrevo_headless_start
    rm -f build/headless-program.log
    (umask 077 && : >build/headless-program.log)
    build/ostrevo-setup >>build/headless-program.log 2>&1 &
    local program=$!
    OSTREVO_HEADLESS_PIDS+=("$program")

    if ! ostrevo_wait_for "$program" ostrevo_headless_window_shown; then
        if ostrevo_alive "$program"; then
            echo "Headless check failed: no window \"Ostrevo SetUp\" after 10 s; see build/headless-program.log" >&2
        else
            echo "Headless check failed: the program ended before showing its window; see build/headless-program.log" >&2
        fi
        return 1
    fi
    sleep 1 # lets the window finish painting (and fading in) before the screenshot
    if ! ostrevo_headless_check_window; then return 1; fi
    rm -f build/headless.png
    local colours=0
    if ! timeout 10 import -window root build/headless.png ||
        ! colours=$(timeout 10 convert build/headless.png -format %k info:); then
        echo "Headless check failed: no screenshot of the private desktop" >&2
        return 1
    fi
    if [ "$colours" -lt 16 ]; then
        echo "Headless check failed: the screenshot build/headless.png is nearly blank ($colours colours)" >&2
        return 1
    fi
    if ! ostrevo_headless_probe_web "$OSTREVO_HEADLESS_PORT" "$OSTREVO_HEADLESS_URL"; then
        echo "Headless check failed: the browser view on 127.0.0.1:$OSTREVO_HEADLESS_PORT is not its owner's alone, or shuts its owner out (see above)" >&2
        return 1
    fi
    if ! ostrevo_headless_probe_other_user "$OSTREVO_HEADLESS_PORT" "$OSTREVO_HEADLESS_URL"; then
        echo "Headless check failed: another user's program reaches the browser view (see above)" >&2
        return 1
    fi
    local log
    for log in build/headless-*.log; do
        # The secrets reach grep through a pipe from the shell's own printf: a command line is
        # every user's to read.
        if grep -q -F -f <(printf '%s\n' "$OSTREVO_HEADLESS_PASSWORD" "$OSTREVO_HEADLESS_TOKEN") "$log" ||
            [ "$(stat -c %a "$log")" != 600 ]; then
            echo "Headless check failed: $log holds the password or the token, or can be read by others" >&2
            return 1
        fi
    done
    if [ "$(stat -c %s build/headless-websockify.log)" -gt 262144 ]; then
        echo "Headless check failed: build/headless-websockify.log is larger than its cap of 256 kB" >&2
        return 1
    fi
    echo "Listening sockets of the program and the private desktop:"
    if ! ostrevo_headless_check_listeners; then
        echo "Headless check failed: something listens beyond the loopback" >&2
        return 1
    fi
    if ! ostrevo_alive "$program"; then
        echo "Headless check failed: the program ended; see build/headless-program.log" >&2
        return 1
    fi

    # The browser view ends under the program: the wait for the program says so at once (a sleep
    # stands by, should it not).
    sleep 10 &
    local standby=$! status=0
    kill -TERM "$OSTREVO_HEADLESS_BRIDGE"
    { ostrevo_headless_wait "$program" "$standby"; } 2>"$OSTREVO_HEADLESS_DIR/said" || status=$?
    ostrevo_stop_process "$standby"
    if [ $status -ne 1 ] || ! grep -q "The browser view (websockify) has ended" "$OSTREVO_HEADLESS_DIR/said"; then
        echo "Headless check failed: the browser view's end went unnoticed (status $status: $(<"$OSTREVO_HEADLESS_DIR/said"))" >&2
        return 1
    fi
    echo "  the browser view ended: $(<"$OSTREVO_HEADLESS_DIR/said")"

    ostrevo_headless_stop
    ostrevo_descendants $$
    local left=() pid
    for pid in "${OSTREVO_DESCENDANTS[@]}"; do if ostrevo_alive "$pid"; then left+=("$pid"); fi; done
    if [ ${#left[@]} -gt 0 ]; then
        echo "Headless check failed: processes left behind: ${left[*]}" >&2
        return 1
    fi
    echo "Headless check passed: the window is shown (build/headless.png, $colours colours), noVNC on" \
        "127.0.0.1:$OSTREVO_HEADLESS_PORT shows it with the printed address only (strangers' tries cost its owner" \
        "nothing, slow or many connections are cut off), nothing listens beyond the loopback, and the browser" \
        "view's end is noticed."
}
