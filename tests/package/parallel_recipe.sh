#!/bin/bash
# The README's scale-out recipe, run locally: a file list cut into four
# shards by GNU parallel, each shard one "sonivate-cli run --files-from -
# --json-lines" writing into the same output folder, the JSON lines merged in
# list order. The merged rows and the written copies must equal those of one
# run over the whole list. Exit 77 (skipped) when parallel or python3 is not
# installed, or the program does not have --files-from and --json-lines yet.
#
#   parallel_recipe.sh SONIVATE_CLI SONIVATE_MAKE_DEMO WORK_DIR
set -u
readonly kSkip=77
readonly kShards=4
readonly kFiles=8
readonly kSeconds=2
cli=$1
make_demo=$2
work=$3

for tool in parallel python3; do
    command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit $kSkip; }
done
run_help=$("$cli" run --help)
for option in --files-from --json-lines; do
    grep -q -- "$option" <<< "$run_help" || { echo "SKIP: sonivate-cli run has no $option yet"; exit $kSkip; }
done

rm -rf "$work"
mkdir -p "$work/in" "$work/one" "$work/shards"
"$make_demo" "$work/in" $kFiles $kSeconds > /dev/null || { echo "FAIL: no demo files"; exit 1; }
find "$work/in" -name '*.wav' | sort > "$work/list"
[[ $(wc -l < "$work/list") -ge $kFiles ]] || { echo "FAIL: the demo set has too few files"; exit 1; }

# One run over the whole list.
"$cli" run --files-from "$work/list" --json-lines --jobs 1 --write --output-dir "$work/one" \
    > "$work/one.jsonl" 2> "$work/one.err"
one_status=$?

# The recipe: shards of the list, their rows in list order (--keep-order).
per_shard=$(((kFiles + kShards - 1) / kShards))
parallel --will-cite --pipe --keep-order -N $per_shard -j $kShards \
    "$cli" run --files-from - --json-lines --jobs 1 --write --output-dir "$work/shards" \
    < "$work/list" > "$work/shards.jsonl" 2> "$work/shards.err"
shards_status=$?

failures=0
if [[ $one_status -ne $shards_status ]]; then
    echo "FAIL: one run ended with $one_status, the shards with $shards_status"
    failures=$((failures + 1))
fi
python3 - "$work/one.jsonl" "$work/shards.jsonl" "$work/one" "$work/shards" << 'PY' || failures=$((failures + 1))
import json, sys
one_file, shards_file, one_dir, shards_dir = sys.argv[1:5]

def rows(path, out_dir):
    result = []
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            row = json.loads(line)
            if isinstance(row.get("output"), str):
                row["output"] = row["output"].replace(out_dir, "OUT", 1)
            result.append(row)
    return result

one, shards = rows(one_file, one_dir), rows(shards_file, shards_dir)
if not one:
    sys.exit("FAIL: the one run printed no rows")
if len(one) != len(shards):
    sys.exit(f"FAIL: {len(one)} rows from one run, {len(shards)} from the shards")
for a, b in zip(one, shards):
    if a != b:
        sys.exit(f"FAIL: rows differ:\n  one:    {a}\n  shards: {b}")
if not all(row.get("written") for row in one):
    sys.exit("FAIL: not every demo file was written")
PY
# The copies are the same to the byte.
for copy in "$work/one"/*; do
    cmp -s "$copy" "$work/shards/${copy##*/}" || {
        echo "FAIL: ${copy##*/} differs between one run and the shards"
        failures=$((failures + 1))
    }
done
[[ $(ls "$work/one" | wc -l) -eq $(ls "$work/shards" | wc -l) ]] || {
    echo "FAIL: the shards wrote another number of copies"
    failures=$((failures + 1))
}

if [[ $failures -gt 0 ]]; then
    cat "$work/one.err" "$work/shards.err"
    exit 1
fi
echo "parallel recipe: $kShards shards equal one run over $(wc -l < "$work/list") files"
