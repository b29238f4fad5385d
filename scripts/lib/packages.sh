# Debian packages the build, the program and the tests need. Sourced by the other scripts.
OSTREVO_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libgl-dev
    qt6-qpa-plugins gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    fonts-wine fonts-dejavu-core
    clang libclang-rt-14-dev
)

# Installs whatever is missing: as root directly, otherwise through sudo, otherwise it prints
# the one apt-get line needed and fails.
ostrevo_install_packages() {
    ostrevo_install_package_list "${OSTREVO_PACKAGES[@]}"
}

# The same for the packages given as arguments (those only some paths need).
ostrevo_install_package_list() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing Debian packages: ${missing[*]}"
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
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures build/ once and builds it; quick when nothing changed.
ostrevo_build() {
    local dir=${1:-build}
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    fi
    cmake --build "$dir"
}
