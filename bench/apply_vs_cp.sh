#!/usr/bin/env bash
# Times `sonivate-cli apply` of a 10-minute 24-bit stereo file against `cp` of
# the same file: whole processes, run alternately, both on tmpfs so that
# flushing to a disk costs neither anything. Target: apply within 1.3 x cp.
# With strace installed it also counts the system calls of one apply.
# Usage: bench/apply_vs_cp.sh [RUNS]   (default 9; best and median of each)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-9}
# Range of the timed apply, in frames: 10 s in, to 5 s before the end, so
# that all three spans (before, gain, after) are written.
start_frame=480000
end_frame=28560000
ratio_target=1.3

build=build/bench-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONIVATE_GUI=OFF -DSONIVATE_TESTS=OFF \
    -DSONIVATE_BENCH=ON >/dev/null
cmake --build "$build" --target sonivate-cli sonivate-bench >/dev/null
cli="$build/src/cli/sonivate-cli"

work=$(mktemp -d /dev/shm/sonivate-apply-XXXXXX)
trap 'rm -rf "$work"' EXIT
"$build/bench/sonivate-bench" --minutes 10 --dir "$work" --write-only
source="$work/programme.wav"
copy="$work/copy.wav"
cat "$source" >/dev/null

# Wall time of one command in microseconds.
elapsed_us() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
}
apply() { "$cli" apply --gain -3 --start "$start_frame" --end "$end_frame" "$source" "$copy"; }

cp_times=()
apply_times=()
for ((i = 0; i < runs; i++)); do
    rm -f "$copy"
    cp_times+=("$(elapsed_us cp "$source" "$copy")")
    rm -f "$copy"
    apply_times+=("$(elapsed_us apply)")
done
rm -f "$copy"

best() { printf '%s\n' "$@" | sort -n | head -1; }
median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
ms() { awk -v us="$1" 'BEGIN { printf "%.1f ms", us / 1000 }'; }
cp_best=$(best "${cp_times[@]}")
apply_best=$(best "${apply_times[@]}")
cp_median=$(median "${cp_times[@]}")
apply_median=$(median "${apply_times[@]}")
echo "$(du -h "$source" | cut -f1) on tmpfs, $runs runs each"
echo "cp     best $(ms "$cp_best")   median $(ms "$cp_median")"
echo "apply  best $(ms "$apply_best")   median $(ms "$apply_median")"
ratio=$(awk -v a="$apply_median" -v c="$cp_median" 'BEGIN { printf "%.2f", a / c }')
echo "apply / cp (medians): $ratio (target <= $ratio_target)"

if command -v strace >/dev/null; then
    rm -f "$copy"
    strace -c -f -o "$work/strace.txt" "$cli" apply --gain -3 --start "$start_frame" --end "$end_frame" \
        "$source" "$copy" >/dev/null 2>&1
    echo "system calls of one apply (strace -c -f):"
    awk '$NF == "total" { print "  total " $4 } $NF ~ /^(read|write|pread64|pwrite64|lseek|copy_file_range)$/ {
        print "  " $NF " " $4 }' "$work/strace.txt"
fi
awk -v r="$ratio" -v t="$ratio_target" 'BEGIN { exit !(r <= t) }'
