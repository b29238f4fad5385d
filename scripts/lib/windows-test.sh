# shellcheck shell=bash
# scripts/test --windows: the Windows build's tests under wine, in its private prefix. The Linux side comes
# from build/ (the virtual detector, and ostrevo-line-peer, which maps pseudo-terminals to COM ports): the
# detector's language and frames, the Win32 serial layer against the far end of a line on COM5, the whole
# program against the Linux virtual detector on COM5, the in-process virtual detector of the demo; then the
# installer, installed silently and checked from its Start-menu folder (scripts/windows --check-install).
# Arguments go to ctest.
set -euo pipefail
. scripts/lib/packages.sh
. scripts/lib/windows.sh
ostrevo_install_packages
ostrevo_install_package_list "${OSTREVO_WINDOWS_PACKAGES[@]}" "${OSTREVO_WINDOWS_CHECK_PACKAGES[@]}"
scripts/lib/check-rooms
ostrevo_build_quietly build ostrevo-detector-sim ostrevo-line-peer
ostrevo_windows_qt
export OSTREVO_HOST_BUILD="$PWD/build"
ostrevo_windows_build_quietly
ostrevo_windows_prefix
(cd "$OSTREVO_WINDOWS_BUILD/build" && ctest --output-on-failure --timeout 300 "$@")
scripts/windows --check-install
