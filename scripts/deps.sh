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

# What the core, the CLI and the tests need to build.
BUILD_PACKAGES=(g++ cmake ninja-build pkg-config libgtest-dev nlohmann-json3-dev libcli11-dev)
