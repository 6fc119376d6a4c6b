#!/usr/bin/env bash
# Installs what is missing, builds in Release and runs the whole job: the WAV
# files and folders given (or a generated demo set of commercials when none
# are given) are measured from BC$START to BC$STOP and written, adjusted to
# -24 LKFS, into an output folder.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}"

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONIVATE_TESTS=OFF -DSONIVATE_BENCH=OFF >/dev/null
cmake --build "$build"

cli="$build/src/cli/sonivate-cli"
out="$PWD/$build/sonivate-out"
if [ $# -eq 0 ]; then
    demo="$build/demo"
    rm -rf "$demo" "$out"
    "$build/tests/support/sonivate-make-demo" "$demo"
    echo "Demo commercials in $demo:"
    "$cli" info "$demo"/*.wav
    echo
    set -- "$demo"
fi
mkdir -p "$out"
echo "Measuring BC\$START to BC\$STOP, target -24.0 LKFS, adjusted copies to $out:"
status=0
"$cli" run --from 'BC$START' --to 'BC$STOP' --target -24.0 --write --output-dir "$out" "$@" || status=$?
echo
ls -l "$out"
exit $status
