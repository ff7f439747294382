#!/bin/sh
# Runs every fuzz target of a build folder, one after the other, and prints
# how many inputs each one tried. Exits 1 when a target found an input that
# breaks its property (kept as BUILD_DIR/findings/TARGET-*).
#   fuzz/run.sh BUILD_DIR SECONDS_PER_TARGET
# Inputs found interesting are kept in BUILD_DIR/corpus/TARGET, so a later
# run starts from them; fuzz/corpus/TARGET holds the seeds.
set -eu

if [ $# -ne 2 ] || [ ! -d "$1" ]; then
  echo "usage: $0 BUILD_DIR SECONDS_PER_TARGET" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
seconds=$2
seeds=$(cd "$(dirname "$0")" && pwd)/corpus

# A target's scratch files (and what a crash leaves) go to a folder of ours.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/qv_fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT INT TERM

failed=0
for target in "$build"/*_fuzz; do
  name=$(basename "$target" _fuzz)
  mkdir -p "$build/corpus/$name" "$build/findings"
  set -- "$build/corpus/$name"
  [ -d "$seeds/$name" ] && set -- "$@" "$seeds/$name"
  if TMPDIR=$scratch "$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$name-" "$@" >"$scratch/log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/log")
    printf '%-20s %10s runs\n' "$name" "$runs"
  else
    failed=1
    printf '%-20s FAILED\n' "$name"
    grep -E 'property failed|ERROR|SUMMARY|Test unit written' "$scratch/log" >&2 || tail -20 "$scratch/log" >&2
  fi
done
exit $failed
