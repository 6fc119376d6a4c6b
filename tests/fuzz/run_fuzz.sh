#!/usr/bin/env bash
# Builds the WAV reader fuzz target with clang and libFuzzer, generates its
# seed corpus and fuzzes for SECONDS (default 60). Exits non-zero on any
# finding (crash, sanitizer report, leak, timeout, out of memory); the input
# that caused it is kept under fuzz-out/.
#
# usage: tests/fuzz/run_fuzz.sh [SECONDS]
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${SONIVATE_FUZZ_BUILD:-$root/build/fuzz}
out=$root/fuzz-out/wave_readers

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DSONIVATE_FUZZ=ON -DSONIVATE_ASAN=ON -DSONIVATE_UBSAN=ON -DSONIVATE_BENCH=OFF >/dev/null
cmake --build "$build" --target wave_readers_fuzz sonivate-fuzz-seeds

seeds=$build/tests/fuzz/seeds
rm -rf "$seeds"
"$build/tests/fuzz/sonivate-fuzz-seeds" "$seeds"
mkdir -p "$out/corpus" "$out/artifacts"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# 4 KiB inputs hold every chunk layout the readers know; 10 s per input is a hang.
"$build/tests/fuzz/wave_readers_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -rss_limit_mb=2048 -dict="$root/tests/fuzz/wave.dict" -print_final_stats=1 -artifact_prefix="$out/artifacts/" \
    "$out/corpus" "$seeds"
echo "fuzzing finished after ${seconds} s without findings"
