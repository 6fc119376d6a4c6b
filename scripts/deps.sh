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
# cairo and pango draw the loudness graph and the batch report (PDF, SVG,
# PNG from one drawing); qt6-tools-dev and qt6-l10n-tools bring lupdate and
# lrelease (/usr/lib/qt6/bin), which compile the window's English translation;
# qt6-translations-l10n gives Qt's own dialogs their Japanese texts; ccache lets several build trees share compiled objects;
# libsystemd-dev gives the watch service sd_notify (readiness, watchdog, status).
BUILD_PACKAGES=(g++ cmake ninja-build pkg-config libgtest-dev nlohmann-json3-dev libcli11-dev
    qt6-base-dev libgl-dev libqt6svg6 fonts-noto-cjk libasound2-dev dpkg-dev
    libcairo2-dev libpango1.0-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n ccache libsystemd-dev)
# What the tests need beyond that: the reference meter, the real window under
# a virtual display with a screenshot, extended attributes and ACLs.
# The report is read back with poppler's tools; the package is checked
# with lintian, appstreamcli and desktop-file-validate; the format check
# uses clang-format; GNU parallel runs the scale-out recipe; locales gives
# a decimal-comma locale; openbox is the window manager of the real-window test.
TEST_PACKAGES=(libebur128-dev ffmpeg sox xvfb xauth xdotool imagemagick attr acl
    poppler-utils lintian appstream desktop-file-utils clang-format parallel locales openbox)

# Generates the locale pLocale (as "de_DE.UTF-8") when it is missing.
ensure_locale() {
    local name=$1
    locale -a 2>/dev/null | grep -qi "^${name%%.*}\.utf-\?8$" && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo localedef -i "${name%%.*}" -f UTF-8 "$name"
}
