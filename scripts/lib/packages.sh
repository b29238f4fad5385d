# shellcheck shell=bash
# Debian packages the build and the program need (scripts/run). Sourced by the other scripts.
OSTREVO_RUN_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libgl-dev
    qt6-qpa-plugins gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    fonts-wine fonts-dejavu-core
)
# ... and with them everything the tests, benchmarks and the fuzz target need (pdftotext reads the
# installation report back; the start's benchmark watches the X server through libxcb; python3 runs the
# browser view's log test).
OSTREVO_PACKAGES=(
    "${OSTREVO_RUN_PACKAGES[@]}"
    clang libclang-rt-14-dev poppler-utils libxcb1-dev python3
)

# Installs whatever is missing: as root directly, otherwise through sudo, otherwise it prints
# the one apt-get line needed and fails.
ostrevo_install_packages() {
    ostrevo_install_package_list "${OSTREVO_PACKAGES[@]}"
}

# The same for the packages given as arguments (those only some paths need). It says in one line what
# it installs; the package manager's output goes to a log that is shown only when the installation
# fails, and removed when it succeeds.
ostrevo_install_package_list() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local count="${#missing[@]} Debian packages"
    [ ${#missing[@]} -eq 1 ] && count="1 Debian package"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo="sudo"
        else
            echo "Please install the missing packages first:" >&2
            echo "  sudo apt-get install -y ${missing[*]}" >&2
            return 1
        fi
    fi
    echo "Installing $count (${missing[*]})..."
    local log
    log=$(mktemp "${TMPDIR:-/tmp}/ostrevo-packages.XXXXXX")
    if ! { $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"; } \
        </dev/null >"$log" 2>&1; then
        echo "Installing the packages failed; the package manager said ($log):" >&2
        cat "$log" >&2
        return 1
    fi
    rm -f "$log"
}

# Configures the build folder $1 (default build/) once and builds everything in it, or only the targets
# named after it; quick when nothing changed. A unity build (eight sources compiled as one) parses Qt's
# headers an eighth as often: a clean build of the program takes about half the time. Debug information is
# line tables only (-g1): a backtrace still names every function, file and line, and the compiler writes
# a fifth less. A folder configured before without these is switched over.
#   ostrevo_build build                    everything: the program, the tools and the tests
#   ostrevo_build build ostrevo-setup ...  only those targets and what they need
ostrevo_build() {
    local dir=${1:-build}
    if [ $# -gt 0 ]; then shift; fi
    local flags="-O2 -g1 -DNDEBUG"
    if [ ! -f "$dir/build.ninja" ] || ! grep -qs '^CMAKE_UNITY_BUILD:BOOL=ON$' "$dir/CMakeCache.txt" ||
        ! grep -qsx "CMAKE_CXX_FLAGS_RELWITHDEBINFO:STRING=$flags" "$dir/CMakeCache.txt"; then
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_UNITY_BUILD=ON \
            "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=$flags"
    fi
    if [ $# -gt 0 ]; then
        cmake --build "$dir" --target "$@"
    else
        cmake --build "$dir"
    fi
}

# ostrevo_build without the compiler's output: it goes to $1/build-output.log, shown only when the
# build fails. Says so when the program has never been built in $1, since that takes a while.
ostrevo_build_quietly() {
    local dir=$1
    if [ ! -x "$dir/ostrevo-setup" ]; then
        echo "Building Ostrevo SetUp in $dir/ (under a minute the first time)..."
    fi
    mkdir -p "$dir"
    local log="$dir/build-output.log"
    if ! ostrevo_build "$@" >"$log" 2>&1; then
        echo "The build failed; its output ($log):" >&2
        cat "$log" >&2
        return 1
    fi
}
