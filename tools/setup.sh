# Sourced by run.sh and test.sh: installs the Debian packages the project needs (only when one is missing) and
# configures and builds the project in build/ when needed.

corvana_packages=(
    cmake ninja-build g++ pkg-config
    libcurl4-openssl-dev libssl-dev libpcre2-dev rapidjson-dev libxml2-dev libpng-dev zlib1g-dev
    qt6-base-dev qt6-translations-l10n fonts-wqy-microhei fonts-noto-color-emoji
    googletest libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
    openssl curl strace time hyperfine xvfb xdotool x11-apps x11-utils python3-xlib imagemagick clang libclang-rt-14-dev
)

corvana_install_packages() {
    local missing=()
    local package
    for package in "${corvana_packages[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing: ${missing[*]}" >&2
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

corvana_build() {
    if [ ! -f build/build.ninja ]; then
        cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
    fi
    cmake --build build >&2
}
