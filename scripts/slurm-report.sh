#!/usr/bin/env bash
# pelmora --report over one listing as a Slurm job array: array task K of N reports the files of
# shard K/N into OUT.K, resuming what an earlier run of the same task left there, so a task that
# is requeued (preempted, its node lost, scontrol requeue) goes on where it stopped.
# Usage: sbatch --array=0-$((N - 1)) [--cpus-per-task=C] scripts/slurm-report.sh LIST OUT [OPTION...]
# LIST names the packages, NUL-separated (find ... -print0), relative names taken from the
# directory sbatch ran in; OPTIONs go to pelmora (--files-from-lines, --expect-signer ...).
# PELMORA names the program when it is not `pelmora` on PATH. Join the outputs with
# scripts/slurm-join.py once every task has ended.
#SBATCH --job-name=pelmora-report
#SBATCH --requeue
#SBATCH --open-mode=append
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: sbatch --array=0-N scripts/slurm-report.sh LIST OUT [OPTION...]" >&2
    exit 2
fi
list=$1 out=$2
shift 2
# Shards are numbered 0 to N-1: an array numbered otherwise would leave some unreported.
if [ -z "${SLURM_ARRAY_TASK_ID:-}" ] || [ "$SLURM_ARRAY_TASK_MIN" -ne 0 ] ||
    [ "$SLURM_ARRAY_TASK_MAX" -ne $((SLURM_ARRAY_TASK_COUNT - 1)) ]; then
    echo "submit as a job array numbered from 0 without gaps: sbatch --array=0-N ..." >&2
    exit 2
fi

status=0
# One inspection per CPU Slurm gave the task, not per CPU of the node.
"${PELMORA:-pelmora}" --report --json --jobs "${SLURM_CPUS_PER_TASK:-1}" \
    --shard "$SLURM_ARRAY_TASK_ID/$SLURM_ARRAY_TASK_COUNT" --files-from "$list" \
    --output "$out.$SLURM_ARRAY_TASK_ID" --resume "$@" || status=$?
# 1 says only that some package did not pass: the records say which, and the task is done.
[ "$status" -eq 1 ] && status=0
exit "$status"
