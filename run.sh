#!/usr/bin/env bash
# Installs what is missing, builds in Release and runs the main job over the
# WAV files or folders given, or over a generated demo set when given none.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}"

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONIVATE_TESTS=OFF -DSONIVATE_BENCH=OFF >/dev/null
cmake --build "$build"

cli="$build/src/cli/sonivate-cli"
if [ $# -eq 0 ]; then
    demo="$build/demo"
    rm -rf "$demo"
    "$build/tests/support/sonivate-make-demo" "$demo"
    echo "Demo files in $demo"
    set -- "$demo"/*.wav
fi
exec "$cli" info "$@"
