# shellcheck shell=bash
# Run by scripts/bench under ostrevo-line-peer --sim (the paced Linux virtual detector on COM5 of wine's
# prefix), on a private X server: the Windows program's poll rate and CPU under wine, on the Windows platform
# and offscreen, and the CPU wine's server spends meanwhile (its work for the program's serial calls and
# windows, which Windows itself would do in its kernel).
# Usage: windows-bench.sh SECONDS
set -euo pipefail
seconds=$1
run=build-windows/build/wine-run
bench=build-windows/build/ostrevo-bench-poll-win.exe
# CPU seconds of wine's server so far (user and system, in clock ticks / the tick rate).
server_cpu() {
    local pid
    pid=$(pgrep -n '^wineserver') || {
        echo 0
        return
    }
    awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f\n", ($14 + $15) / hz }' "/proc/$pid/stat"
}
for platform in windows offscreen; do
    before=$(server_cpu)
    start=$(date +%s.%N)
    # (wine's sound drivers say on stderr that the machine has no sound card: the siren is off.)
    QT_QPA_PLATFORM=$platform "$run" "$bench" "$seconds" 2> >(grep -v -e '^ALSA lib' -e 'DpiAwareness' \
        -e 'NonClientDpiScaling' -e 'does not support raise' >&2)
    end=$(date +%s.%N)
    after=$(server_cpu)
    awk -v b="$before" -v a="$after" -v s="$start" -v e="$end" \
        'BEGIN { printf "  wine'"'"'s server: CPU %.2f %% of one core over the run (Windows does this work in its kernel)\n", 100 * (a - b) / (e - s) }'
done
