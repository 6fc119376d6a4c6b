#!/usr/bin/env bash
# Times `sonivate-cli watch --once --settle 0` against `sonivate-cli run
# --write --output-dir` over COUNT one-second files (48 kHz 16-bit stereo
# noise): wall time and peak memory of each whole process, from the page
# cache. watch also hashes every file, moves it to --done and writes a
# journal line flushed to the device per file.
# Usage: bench/watch_vs_run.sh [COUNT] [JOBS]   (defaults 10000, 1)
# SONIVATE_CLI=path uses that sonivate-cli instead of building one.
# Needs /usr/bin/time (Debian package "time").
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-10000}
jobs=${2:-1}
# One second of 48 kHz 16-bit stereo, bytes.
data_bytes=192000

if [ -z "${SONIVATE_CLI:-}" ]; then
    build=build/release
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONIVATE_TESTS=OFF -DSONIVATE_BENCH=OFF >/dev/null
    cmake --build "$build" --target sonivate-cli >/dev/null
    SONIVATE_CLI="$build/src/cli/sonivate-cli"
fi
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package: time)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/sonivate-watch-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/out-watch" "$work/out-run" "$work/done"

le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x$(printf %02x $((($1 >> 16) & 255)))\\x$(printf %02x $((($1 >> 24) & 255)))"; }
{
    printf 'RIFF'; le32 $((36 + data_bytes)); printf 'WAVEfmt '; le32 16
    printf '\x01\x00\x02\x00'; le32 48000; le32 192000; printf '\x04\x00\x10\x00'
    printf 'data'; le32 "$data_bytes"
    head -c "$data_bytes" /dev/urandom
} >"$work/one.wav"
for i in $(seq -w 1 "$count"); do cp "$work/one.wav" "$work/in/f$i.wav"; done
echo "$count files of 1 s, $(du -sh "$work/in" | cut -f1), jobs $jobs, $("$SONIVATE_CLI" --version)"
cat "$work"/in/*.wav >/dev/null 2>&1 || find "$work/in" -type f -exec cat {} + >/dev/null

measure() {
    local name=$1
    shift
    /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" || true
    local wall rss
    wall=$(sed -n 's/.*Elapsed (wall clock) time.*: //p' "$work/time.txt")
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
    printf '%-6s wall %s, peak memory %d MiB\n' "$name" "$wall" $((rss / 1024))
}

measure run "$SONIVATE_CLI" run --write --output-dir "$work/out-run" --jobs "$jobs" "$work/in"
measure watch "$SONIVATE_CLI" watch "$work/in" --output-dir "$work/out-watch" --done "$work/done" --once \
    --settle 0 --jobs "$jobs" --journal "$work/journal.jsonl"
echo "copies: run $(find "$work/out-run" -name '*.wav' | wc -l), watch $(find "$work/out-watch" -name '*.wav' | wc -l);" \
    "journal lines $(wc -l <"$work/journal.jsonl")"
