# Installs the Debian packages given as arguments when any is missing.
# Sourced by run.sh and test.sh; runs apt-get update only when needed.
ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What the core, the CLI and the window need to build. fonts-noto-cjk is the
# Japanese face the window's font names are mapped to.
BUILD_PACKAGES=(g++ cmake ninja-build pkg-config libgtest-dev nlohmann-json3-dev libcli11-dev
    qt6-base-dev libgl-dev libqt6svg6 fonts-noto-cjk libasound2-dev dpkg-dev)
# What the tests need beyond that: the reference meter, the real window under
# a virtual display with a screenshot, extended attributes and ACLs.
TEST_PACKAGES=(libebur128-dev xvfb xauth xdotool imagemagick attr acl)
