#!/usr/bin/env bash
# Times one batch in the window (offscreen, one worker thread, one file at a
# time) against `sonivate-cli run --jobs 1` on the same files, measuring only
# and writing copies. Usage: bench/window_timing.sh [COUNT] [SECONDS]
# Defaults: 200 files of 30 s programme.
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-200}
seconds=${2:-30}

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONIVATE_TESTS=OFF -DSONIVATE_BENCH=ON >/dev/null
cmake --build "$build" --target sonivate-cli sonivate-window-batch sonivate-make-demo >/dev/null
cli="$build/src/cli/sonivate-cli"
window="$build/bench/sonivate-window-batch"
work=$(mktemp -d "${TMPDIR:-/tmp}/sonivate-window-XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/tests/support/sonivate-make-demo" "$work/in" "$count" "$seconds"
echo "$count files of $seconds s programme (+3 s lead and tail), $(du -sh "$work/in" | cut -f1)"
cat "$work"/in/*.wav >/dev/null

ms_of() { local start end; start=$(date +%s%N); "$@" >/dev/null; end=$(date +%s%N); echo $(( (end - start) / 1000000 )); }
for mode in measure write; do
    rm -rf "$work/out" && mkdir "$work/out"
    cli_extra=() window_extra=()
    if [ "$mode" = write ]; then
        cli_extra=(--write --output-dir "$work/out")
        window_extra=(--write "$work/out")
    fi
    # The window measures what the list shows; the command line is told to do the same.
    cli_ms=$(ms_of "$cli" run --no-extras --from 'BC$START' --to 'BC$STOP' --jobs 1 "${cli_extra[@]}" "$work/in")
    rm -rf "$work/out" && mkdir "$work/out"
    # The window's figure is its run alone (from 開始 to the end); the process adds start-up.
    run=$(QT_QPA_PLATFORM=offscreen "$window" --from 'BC$START' --to 'BC$STOP' "${window_extra[@]}" "$work/in")
    window_ms=$(echo "$run" | sed -n 's/.* \([0-9]*\) ms$/\1/p')
    printf '%-7s cli --jobs 1 %6d ms   window %6d ms   (%s)\n' "$mode" "$cli_ms" "$window_ms" "$run"
done
