#!/usr/bin/env bash
# Installs what is missing, builds in Release and runs the whole job over the
# WAV files and folders given, or over a generated demo set of commercials
# when none are given. With a display (DISPLAY or WAYLAND_DISPLAY) that is the
# window: the files are listed and 開始 measures them (and writes the copies
# when wav出力 is on). Without one the command line does it: measured from
# BC$START to BC$STOP and written, adjusted to -24 LKFS, into an output folder.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}"

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONIVATE_TESTS=OFF -DSONIVATE_BENCH=OFF >/dev/null
cmake --build "$build"

cli="$build/src/cli/sonivate-cli"
gui="$build/src/gui/sonivate"
out="$PWD/$build/sonivate-out"
if [ $# -eq 0 ]; then
    demo="$PWD/$build/demo"
    rm -rf "$demo" "$out"
    "$build/tests/support/sonivate-make-demo" "$demo"
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$gui" ]; then
        echo "Starting the window over the demo commercials in $demo"
        exec "$gui" "$demo"
    fi
    echo "Demo commercials in $demo:"
    "$cli" info "$demo"/*.wav
    echo
    set -- "$demo"
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$gui" ] && [ -z "${demo:-}" ]; then
    args=()
    for path in "$@"; do args+=("$(realpath -- "$path")"); done
    exec "$gui" "${args[@]}"
fi
mkdir -p "$out"
echo "Measuring BC\$START to BC\$STOP, target -24.0 LKFS, adjusted copies to $out:"
status=0
"$cli" run --from 'BC$START' --to 'BC$STOP' --target -24.0 --write --output-dir "$out" "$@" || status=$?
echo
ls -l "$out"
exit $status
