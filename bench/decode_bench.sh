#!/bin/sh
# Compares the decode tool with base64 -d on 256 MiB of random bytes in
# 72-character lines: best of three runs each, outputs checked identical.
#   bench/decode_bench.sh DECODE_PATH
set -eu

if [ $# -ne 1 ] || [ ! -x "$1" ]; then
  echo "usage: $0 DECODE_PATH" >&2
  exit 2
fi
decode=$1
size_mib=256
runs=3

work=$(mktemp -d "${TMPDIR:-/tmp}/decode_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$work/data"
base64 -w 72 "$work/data" > "$work/text"
rm "$work/data"

now() { date +%s.%N; }

# Prints the best wall time in seconds of `runs` runs of the command given.
best_of() {
  best=
  i=0
  while [ $i -lt $runs ]; do
    start=$(now)
    "$@"
    end=$(now)
    best=$(awk -v s="$start" -v e="$end" -v b="$best" \
      'BEGIN { t = e - s; if (b == "" || t < b) b = t; print b }')
    i=$((i + 1))
  done
  echo "$best"
}

run_ours() { "$decode" -u "$work/text" -o "$work/ours"; }
run_base64() { base64 -d "$work/text" > "$work/theirs"; }

# One untimed pass of each so both start with the text in the page cache.
run_ours
run_base64
ours=$(best_of run_ours)
theirs=$(best_of run_base64)

if ! cmp -s "$work/ours" "$work/theirs"; then
  echo "decode and base64 -d disagree" >&2
  exit 1
fi

awk -v mib="$size_mib" -v ours="$ours" -v theirs="$theirs" 'BEGIN {
  printf "%d MiB decoded, best of '"$runs"' runs each\n", mib
  printf "decode     %8.1f MiB/s\n", mib / ours
  printf "base64 -d  %8.1f MiB/s\n", mib / theirs
  printf "ratio decode/base64: %.2f\n", theirs / ours
}'
