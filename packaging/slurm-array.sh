#!/bin/bash
# A Slurm job array over a file list: task i takes the i-th contiguous block
# of the list, so that the JSON lines of the tasks, joined in task order, are
# in list order. Submit from a folder on the shared file system:
#   find /shared/in -name '*.wav' | sort > list
#   sbatch --array=0-15 slurm-array.sh list /shared/out
#   cat rows/*.jsonl > all.jsonl      # after the array (names sort by task)
#SBATCH --job-name=sonivate
#SBATCH --cpus-per-task=4
#SBATCH --output=logs/%A_%a.log
set -eu
list=$1
out=$2
tasks=${SLURM_ARRAY_TASK_COUNT:?run as a job array}
task=${SLURM_ARRAY_TASK_ID}
mkdir -p rows
total=$(wc -l < "$list")
per_task=$(((total + tasks - 1) / tasks))
first=$((task * per_task + 1))
last=$((first + per_task - 1))
sed -n "${first},${last}p" "$list" |
    sonivate-cli run --files-from - --json-lines --jobs "${SLURM_CPUS_PER_TASK:-1}" \
        --write --output-dir "$out" > "rows/$(printf '%05d' "$task").jsonl" ||
    test $? -eq 1 # status 1: some rows were not written; their reason says why
