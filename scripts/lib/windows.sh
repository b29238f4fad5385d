# shellcheck shell=bash
# The Windows build on this Debian machine: the packages, the Qt for Windows (a prebuilt cache, or built once
# from Debian's source package), the cross-build, and wine's private prefix. Sourced by scripts/windows,
# scripts/test --windows, scripts/bench and .ci/run (after scripts/lib/packages.sh).

# The cross-compiler, the host's Qt tools (moc, rcc, uic: the Qt for Windows runs them from /usr), wine to run
# and test the program, NSIS for its installer, and what making them needs.
OSTREVO_WINDOWS_PACKAGES=(
    cmake ninja-build g++ g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools wine wine64 nsis zstd zip
    librsvg2-bin python3 fonts-dejavu-core
)
# ... and to check the installed program on a real X server with the Windows platform.
OSTREVO_WINDOWS_CHECK_PACKAGES=(xvfb xauth xdotool imagemagick openbox binutils)

OSTREVO_WINDOWS_QT_NAME=qt-6.4.2-mingw-w64-x86_64
OSTREVO_WINDOWS_CACHE="${XDG_CACHE_HOME:-$HOME/.cache}/ostrevo-setup"
OSTREVO_WINDOWS_QT="$OSTREVO_WINDOWS_CACHE/$OSTREVO_WINDOWS_QT_NAME"
OSTREVO_WINDOWS_BUILD=build-windows
# wine: a prefix of the build's own, without wine's noise, its browser and .NET, or menu files in the home.
export WINEPREFIX="$PWD/$OSTREVO_WINDOWS_BUILD/wine"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# The program's version, as CMakeLists.txt names it.
ostrevo_version() {
    sed -n 's/^project(OstrevoSetUp VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt
}

# The prebuilt Qt archive, where there is one: $OSTREVO_WINDOWS_QT_ARCHIVE, else beside the repository's
# folder in shared/windows/, else /work/shared/windows/. Prints its path; status 1 when there is none.
ostrevo_windows_qt_archive() {
    local name="$OSTREVO_WINDOWS_QT_NAME.tar.zst" candidate
    for candidate in "${OSTREVO_WINDOWS_QT_ARCHIVE:-}" "$PWD/../shared/windows/$name" "/work/shared/windows/$name"; do
        if [ -n "$candidate" ] && [ -f "$candidate" ]; then
            echo "$candidate"
            return 0
        fi
    done
    return 1
}

# True when the Qt for Windows is in the cache folder or can be unpacked there (not built).
ostrevo_windows_qt_ready() {
    [ -f "$OSTREVO_WINDOWS_QT/lib/cmake/Qt6/qt.toolchain.cmake" ] || ostrevo_windows_qt_archive >/dev/null
}

# Makes the Qt for Windows ready in the user's cache folder, once: unpacked from the archive, or built
# from Debian's source package when there is none. Says what it does; quick when it is there already.
ostrevo_windows_qt() {
    if [ -f "$OSTREVO_WINDOWS_QT/lib/cmake/Qt6/qt.toolchain.cmake" ]; then return 0; fi
    local archive
    if archive=$(ostrevo_windows_qt_archive); then
        echo "Unpacking the Qt for Windows ($archive) into $OSTREVO_WINDOWS_QT (once)..."
        mkdir -p "$OSTREVO_WINDOWS_CACHE"
        local partial="$OSTREVO_WINDOWS_QT.partial"
        rm -rf "$partial"
        mkdir "$partial"
        tar --zstd -xf "$archive" -C "$partial"
        # (The archive holds the prefix in a folder of its name.)
        if [ -d "$partial/$OSTREVO_WINDOWS_QT_NAME" ]; then
            mv "$partial/$OSTREVO_WINDOWS_QT_NAME" "$OSTREVO_WINDOWS_QT"
            rm -rf "$partial"
        else
            mv "$partial" "$OSTREVO_WINDOWS_QT"
        fi
        return 0
    fi
    ostrevo_windows_build_qt
}

# Adds a deb-src line for each archive the binary packages come from, so that apt-get source finds Debian's
# own sources (once; a file of its own in /etc/apt/sources.list.d).
ostrevo_windows_enable_deb_src() {
    local list=/etc/apt/sources.list.d/ostrevo-deb-src.sources
    if [ -f "$list" ] || grep -rqs '^\(Types:.*deb-src\|deb-src \)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return 0
    fi
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    local stanzas
    stanzas=$(
        cat /etc/apt/sources.list.d/*.sources 2>/dev/null | sed 's/^Types: deb$/Types: deb-src/'
        # One-line sources, as deb822 stanzas.
        sed -n 's/^deb \(\[[^]]*\] \)\?\([^ ]*\) \([^ ]*\) \(.*\)$/\nTypes: deb-src\nURIs: \2\nSuites: \3\nComponents: \4/p' \
            /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null
    )
    echo "Adding Debian's source archive to apt ($list)..."
    echo "$stanzas" | $sudo tee "$list" >/dev/null
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
}

# Builds Qt 6.4.2 for Windows from Debian's source package (qtbase, the upstream tarball and Debian's one Gui
# security fix) with MinGW-w64, the host's Qt tools and ccache, and installs it as the cache. About 80 minutes
# on 2 cores the first time; ccache keeps a rebuild to about 11. Its work folder stays in the cache folder.
ostrevo_windows_build_qt() {
    local work="$OSTREVO_WINDOWS_CACHE/qt-6.4.2-work"
    local partial="$OSTREVO_WINDOWS_QT.partial"
    echo "No prebuilt Qt for Windows was found: building Qt 6.4.2 for Windows from Debian's source package"
    echo "into $OSTREVO_WINDOWS_QT (once; about 80 minutes on 2 cores, its log in $work/build.log)..."
    ostrevo_install_package_list qt6-base-dev qt6-base-dev-tools ccache xz-utils patch dpkg-dev
    ostrevo_windows_enable_deb_src
    mkdir -p "$work/download" "$work/src"
    local log="$work/build.log"
    : >"$log"
    if ! ls "$work"/download/qt6-base_6.4.2*.orig.tar.xz >/dev/null 2>&1; then
        (cd "$work/download" && apt-get source --download-only qt6-base) >>"$log" 2>&1 ||
            {
                echo "Fetching Debian's qt6-base sources failed ($log):" >&2
                tail -20 "$log" >&2
                return 1
            }
    fi
    local source="$work/src/qtbase-everywhere-src-6.4.2"
    if [ ! -f "$source/.ostrevo-patched" ]; then
        rm -rf "$work/src"
        mkdir -p "$work/src"
        tar -xf "$work"/download/qt6-base_6.4.2*.orig.tar.xz -C "$work/src"
        # The one fix Windows needs of Debian's patches: the Gui security fix.
        tar -xOf "$work"/download/qt6-base_6.4.2*.debian.tar.xz debian/patches/cve-2023-32763.diff |
            patch -d "$source" -p1 >>"$log"
        touch "$source/.ostrevo-patched"
    fi
    rm -rf "$partial"
    mkdir -p "$partial"
    # The toolchain file lies inside the prefix: Qt's own toolchain file finds it there wherever the prefix goes.
    cp packaging/windows/mingw-w64-x86_64.cmake "$partial/"
    echo "Configuring Qt (about a minute)..."
    if ! W="$work" PREFIX="$partial" BUILD="$work/build" TOOLCHAIN="$partial/mingw-w64-x86_64.cmake" \
        packaging/windows/configure-qt.sh >>"$log" 2>&1; then
        echo "Configuring Qt for Windows failed ($log):" >&2
        tail -30 "$log" >&2
        return 1
    fi
    [ "${OSTREVO_WINDOWS_QT_CONFIGURE_ONLY:-}" = 1 ] && return 0
    echo "Building Qt (about 80 minutes the first time)..."
    if ! { CCACHE_DIR="$work/ccache" CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime \
        cmake --build "$work/build" --parallel 2 && cmake --install "$work/build"; } >>"$log" 2>&1; then
        echo "Building Qt for Windows failed ($log):" >&2
        tail -30 "$log" >&2
        return 1
    fi
    mv "$partial" "$OSTREVO_WINDOWS_QT"
}

# Configures build-windows/build once (again when its Qt changed) and builds the given targets, or everything.
# With a Linux build folder as $OSTREVO_HOST_BUILD the tests that need a line are registered too.
ostrevo_windows_build() {
    local dir="$OSTREVO_WINDOWS_BUILD/build"
    local flags="-O2 -g1 -DNDEBUG"
    if [ ! -f "$dir/build.ninja" ] ||
        ! grep -qs "^CMAKE_TOOLCHAIN_FILE:FILEPATH=$OSTREVO_WINDOWS_QT/lib/cmake/Qt6/qt.toolchain.cmake$" "$dir/CMakeCache.txt" ||
        ! grep -qsx "OSTREVO_HOST_BUILD:PATH=${OSTREVO_HOST_BUILD:-}" "$dir/CMakeCache.txt"; then
        cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$OSTREVO_WINDOWS_QT/lib/cmake/Qt6/qt.toolchain.cmake" \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_UNITY_BUILD=ON "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=$flags" \
            -DOSTREVO_HOST_BUILD="${OSTREVO_HOST_BUILD:-}" -DOSTREVO_WINEPREFIX="$WINEPREFIX"
    fi
    if [ $# -gt 0 ]; then
        cmake --build "$dir" --parallel 2 --target "$@"
    else
        cmake --build "$dir" --parallel 2
    fi
}

# ostrevo_windows_build without the compiler's output: it goes to build-windows/build-output.log, shown only
# when the build fails.
ostrevo_windows_build_quietly() {
    mkdir -p "$OSTREVO_WINDOWS_BUILD"
    local log="$OSTREVO_WINDOWS_BUILD/build-output.log"
    if [ ! -f "$OSTREVO_WINDOWS_BUILD/build/build.ninja" ]; then
        echo "Building Ostrevo SetUp for Windows in $OSTREVO_WINDOWS_BUILD/ (a few minutes the first time)..."
    fi
    if ! ostrevo_windows_build "$@" >"$log" 2>&1; then
        echo "The Windows build failed; its output ($log):" >&2
        cat "$log" >&2
        return 1
    fi
}

# Makes wine's private prefix, once (wine sets up its Windows there, some 10 to 20 seconds).
ostrevo_windows_prefix() {
    if [ -f "$WINEPREFIX/system.reg" ]; then return 0; fi
    echo "Setting up wine's private prefix in $WINEPREFIX (once)..."
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
}
