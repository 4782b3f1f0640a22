#!/bin/sh
# Converts one list of SWF movies on a Slurm cluster: one job array, each of
# its tasks a share of the list (tarnwick-batch --shard K/N) with its own
# report, which it resumes from when the task runs again.
#
#   sh scripts/slurm-batch.sh [--tasks N] [--cpus C] [--reports DIR]
#                             [--program PATH] [--wait] [--sbatch OPTION]...
#                             -- TARNWICK-BATCH-OPTIONS... FILES-OR-FOLDERS...
#   sh scripts/slurm-batch.sh --merge DIR      (the tasks' reports as one)
#
# --tasks N     array tasks, one share each (default 4)
# --cpus C      CPUs a task asks for, and the movies it converts at once
#               (tarnwick-batch --jobs C; default 1)
# --reports DIR where task K writes report-K.jsonl and task-K.log (default
#               ./tarnwick-reports); it must be on a folder every node sees,
#               like the movies and --out
# --program     the tarnwick-batch to run (default: the one on PATH)
# --wait        return when every task has ended, with sbatch's status
# --sbatch OPT  passed to sbatch as it is (a partition, a time limit...)
#
# Prints the array's job id. Submit the same command again to finish what
# an interrupted array left: every task skips the movies it made before.
set -eu

tasks=4
cpus=1
reports=tarnwick-reports
program=tarnwick-batch
wait=""
extra=""

# Inside the array: one task's share of the list.
if [ "${1:-}" = "--task" ]; then
  reports=$2
  program=$3
  cpus=$4
  shift 5
  exec "$program" --shard "$SLURM_ARRAY_TASK_ID/$SLURM_ARRAY_TASK_COUNT" --jobs "$cpus" --resume \
    --report "$reports/report-$SLURM_ARRAY_TASK_ID.jsonl" "$@"
fi

if [ "${1:-}" = "--merge" ]; then
  # Every report holds whole lines only: joined, they are one report.
  cat "$2"/report-*.jsonl
  exit 0
fi

while [ $# -gt 0 ]; do
  case "$1" in
    --tasks) tasks=$2; shift 2 ;;
    --cpus) cpus=$2; shift 2 ;;
    --reports) reports=$2; shift 2 ;;
    --program) program=$2; shift 2 ;;
    --wait) wait="--wait"; shift ;;
    --sbatch) extra="$extra $2"; shift 2 ;;
    --) shift; break ;;
    *) echo "slurm-batch.sh: unknown option $1 (tarnwick-batch's options follow --)" >&2; exit 2 ;;
  esac
done
if [ $# -eq 0 ]; then
  echo "slurm-batch.sh: give tarnwick-batch's options and movies after --" >&2
  exit 2
fi
case "$tasks" in ''|*[!0-9]*|0) echo "slurm-batch.sh: --tasks needs a number above 0" >&2; exit 2 ;; esac
case "$cpus" in ''|*[!0-9]*|0) echo "slurm-batch.sh: --cpus needs a number above 0" >&2; exit 2 ;; esac

mkdir -p "$reports"
reports=$(cd "$reports" && pwd)
case "$program" in
  */*) program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program") ;;
esac
script=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")

# The tasks start in the folder this was submitted from, so relative
# movies and --out mean the same there. $extra is split into its words.
# shellcheck disable=SC2086
exec sbatch --parsable $wait $extra --job-name=tarnwick-batch --array="1-$tasks" --cpus-per-task="$cpus" \
  --output="$reports/task-%a.log" "$script" --task "$reports" "$program" "$cpus" -- "$@"
