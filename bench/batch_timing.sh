#!/usr/bin/env bash
# Times `sonivate-cli run` over a batch of generated commercials, one worker
# against several. Usage: bench/batch_timing.sh [COUNT] [SECONDS] [JOBS...]
# Defaults: 200 files of 30 s programme, jobs 1 and 2.
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-200}
seconds=${2:-30}
shift $(( $# > 2 ? 2 : $# ))
jobs=("$@")
[ ${#jobs[@]} -eq 0 ] && jobs=(1 2)

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONIVATE_TESTS=OFF -DSONIVATE_BENCH=OFF >/dev/null
cmake --build "$build" >/dev/null
cli="$build/src/cli/sonivate-cli"
work=$(mktemp -d "${TMPDIR:-/tmp}/sonivate-batch-XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/tests/support/sonivate-make-demo" "$work/in" "$count" "$seconds"
echo "$count files of $seconds s programme (+3 s lead and tail), $(du -sh "$work/in" | cut -f1)"
# Read the batch once so that every timed run starts from the page cache.
cat "$work"/in/*.wav >/dev/null

for j in "${jobs[@]}"; do
    for mode in measure write; do
        rm -rf "$work/out" && mkdir "$work/out"
        extra=()
        [ "$mode" = write ] && extra=(--write --output-dir "$work/out")
        start=$(date +%s%N)
        "$cli" run --from 'BC$START' --to 'BC$STOP' --jobs "$j" "${extra[@]}" "$work/in" >/dev/null
        end=$(date +%s%N)
        ms=$(( (end - start) / 1000000 ))
        printf 'jobs %s, %-7s %d.%03d s\n' "$j" "$mode" $((ms / 1000)) $((ms % 1000))
    done
done
