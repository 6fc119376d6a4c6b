#!/usr/bin/env bash
# Remakes the README's pictures from the demo set, so that they never go
# stale: the demo commercials are measured and written by the command line
# with a PDF report in Japanese and in English, and the first page of each
# is rendered to docs/report_ja.png and docs/report_en.png; then the window
# lists them on a virtual display, 開始 measures them, and the window is
# saved as docs/window_ja.png and docs/window_en.png.
#
#   scripts/make_docs_pictures.sh [BUILD_DIR]   (default build/release)
#
# Needs pdftoppm (poppler-utils); the window's pictures also Xvfb, openbox,
# xdotool and ImageMagick (left out, with a note, when one is missing). The
# language follows the locale (LANGUAGE first), so each picture is made
# under its own.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
# The Japanese pictures are made under a Japanese locale.
ensure_locale ja_JP.UTF-8

build="${1:-build/release}"
# Pixels per inch of the pictures: an A4 page about 900 pixels wide.
readonly page_dpi=110

if ! command -v pdftoppm >/dev/null; then
    echo "make_docs_pictures: pdftoppm is missing (apt-get install poppler-utils)" >&2
    exit 1
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONIVATE_TESTS=OFF -DSONIVATE_BENCH=OFF >/dev/null
cmake --build "$build" --target sonivate-cli sonivate-make-demo sonivate
cli="$build/src/cli/sonivate-cli"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$build/tests/support/sonivate-make-demo" "$work/demo" >/dev/null

# The station's fields, where the command line takes them.
fields=()
if "$cli" run --help 2>/dev/null | grep -q -- '--report-field'; then
    fields=(--report-field "operator=山田 太郎" --report-field "station=JOAX-DTV"
        --report-field "programme=Spring campaign" --report-field "client=Demo client")
fi

# The locale each picture's language is made under.
locale_of() {
    case "$1" in
        ja) echo ja_JP.UTF-8 ;;
        *) echo C.UTF-8 ;;
    esac
}

mkdir -p docs
for language in ja en; do
    locale=$(locale_of "$language")
    out="$work/out_$language"
    mkdir -p "$out"
    # A run whose rows are not all written still has its report.
    LANGUAGE="$language" LC_ALL="$locale" "$cli" run --profile arib-tr-b32 --from 'BC$START' --to 'BC$STOP' --write \
        --output-dir "$out" --report "$work/report_$language.pdf" "${fields[@]}" "$work/demo" >/dev/null || true
    if [ ! -s "$work/report_$language.pdf" ]; then
        echo "make_docs_pictures: no $language report was written" >&2
        exit 1
    fi
    pdftoppm -png -r "$page_dpi" -f 1 -l 1 -singlefile "$work/report_$language.pdf" "docs/report_$language"
    echo "docs/report_$language.png"
done

# The window after a run, in each language: the demo listed under the
# report's profile (so that the profile line counts the copies that pass,
# "ARIB TR-B32: 3/4 合格"), 開始 clicked, the run left to finish, the window
# cut out of the screen.
shot_tools=(Xvfb openbox xdotool import convert)
for tool in "${shot_tools[@]}"; do
    if ! command -v "$tool" >/dev/null; then
        echo "make_docs_pictures: $tool is missing: no pictures of the window" >&2
        exit 0
    fi
done
# The start button's centre and the window's size at SizeRate 1.0 (pixels),
# as the window's screenshot tests use them.
readonly start_button="593 493"
readonly window_size="646x545"
for language in ja en; do
    locale=$(locale_of "$language")
    screen="$work/screen_$language.png"
    LANGUAGE="$language" LC_ALL="$locale" SONIVATE_SHOT_WM=openbox SONIVATE_SHOT_CLICK="$start_button" \
        SONIVATE_SHOT_SETTINGS="Profile=arib-tr-b32" SONIVATE_SHOT_AFTER=10 tests/gui/window/xvfb_screenshot.sh "$build/src/gui/sonivate" "$screen" \
        "$work/demo" >/dev/null
    # openbox puts the window at the screen's top left, its frame included.
    convert "$screen" -crop "$window_size+0+0" +repage "docs/window_$language.png"
    echo "docs/window_$language.png"
done
