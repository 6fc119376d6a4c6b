#!/usr/bin/env bash
# Remakes the README's pictures of a report from the demo set, so that they
# never go stale: the demo commercials are measured and written by the
# command line with a PDF report in Japanese and in English, and the first
# page of each is rendered to docs/report_ja.png and docs/report_en.png.
#
#   scripts/make_docs_pictures.sh [BUILD_DIR]   (default build/release)
#
# Needs pdftoppm (poppler-utils). The report's language follows the
# command line's (the locale, LANGUAGE first), so each report is made under
# its own locale.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${1:-build/release}"
# Pixels per inch of the pictures: an A4 page about 900 pixels wide.
readonly page_dpi=110

if ! command -v pdftoppm >/dev/null; then
    echo "make_docs_pictures: pdftoppm is missing (apt-get install poppler-utils)" >&2
    exit 1
fi
if [ ! -x "$build/src/cli/sonivate-cli" ] || [ ! -x "$build/tests/support/sonivate-make-demo" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONIVATE_TESTS=OFF -DSONIVATE_BENCH=OFF >/dev/null
    cmake --build "$build" --target sonivate-cli sonivate-make-demo
fi
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

mkdir -p docs
for language in ja en; do
    case "$language" in
        ja) locale=ja_JP.UTF-8 ;;
        en) locale=C.UTF-8 ;;
    esac
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
