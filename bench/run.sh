#!/bin/sh
# Measures, side by side in one run, what the issue's goals are about and
# prints the figures; with --readme also rewrites the README's marked tables.
#   bench/run.sh BUILD_DIR FUZZ_BUILD_DIR FUZZ_SECONDS [--readme]
# - decode against base64 -d: throughput ratio and peak memory, 16/64/256 MiB
# - the payload maker on a 256 MiB package: peak memory, Base64 speed
#   against base64 -w 72
# - the installer's extraction of that package against tar -xzf on the same
#   archive, with the working folder's disk peak (in the sandbox)
# - a default installation's wall time, split into the installer's own time
#   and the time its commands ran (in the sandbox)
# - bench/mail_bench in its sandbox: vdeliver against mail.local, and
#   vpop3d's RETR of a 200 MB mailbox against reading the file once
# - the executions each fuzz target gets in make test
set -eu

if [ $# -lt 3 ] || [ ! -x "$1/dist/decode" ] || [ ! -x "$1/bench/sandbox_bench" ] ||
  [ ! -x "$1/bench/mail_bench" ]; then
  echo "usage: $0 BUILD_DIR FUZZ_BUILD_DIR FUZZ_SECONDS [--readme]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
fuzz_build=$2
fuzz_seconds=$3
readme=${4:-}
src=$(cd "$(dirname "$0")/.." && pwd)
runs=3
mib=1048576

work=$(mktemp -d "${TMPDIR:-/tmp}/qv_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
figures=$work/figures
# Other work on the machine slows tar -xzf's two processes more than the
# extraction's one at a time: the load goes with the figures.
load=$(cut -d' ' -f1 /proc/loadavg)

# Runs the command `runs` times; records "<name>_seconds" (best wall time)
# and "<name>_kib" (largest peak resident memory).
measure() {
  name=$1
  shift
  best= peak=0 i=0
  while [ $i -lt $runs ]; do
    /usr/bin/time -f '%e %M' -o "$work/time" "$@"
    read -r seconds kib < "$work/time"
    best=$(awk -v s="$seconds" -v b="$best" 'BEGIN { print (b == "" || s < b) ? s : b }')
    [ "$kib" -gt "$peak" ] && peak=$kib
    i=$((i + 1))
  done
  echo "${name}_seconds $best" >> "$figures"
  echo "${name}_kib $peak" >> "$figures"
}

figure() { awk -v k="$1" '$1 == k { print $2 }' "$figures"; }

echo "measuring decode against base64 -d" >&2
for size in 16 64 256; do
  head -c $((size * mib)) /dev/urandom > "$work/data"
  base64 -w 72 "$work/data" > "$work/text"
  rm "$work/data"
  "$build/dist/decode" -u "$work/text" -o "$work/ours"  # both start with the text cached
  measure "decode_$size" "$build/dist/decode" -u "$work/text" -o "$work/ours"
  measure "base64d_$size" sh -c 'base64 -d "$1" > "$2"' sh "$work/text" "$work/theirs"
  cmp -s "$work/ours" "$work/theirs" || { echo "decode and base64 -d disagree" >&2; exit 1; }
  rm "$work/text" "$work/ours" "$work/theirs"
done

echo "measuring the payload maker on a 256 MiB package" >&2
members="qv/=0777 qv/sendmail.cf=0777 qv/quorvane=0755 qv/ipop3=0644"
mkdir "$work/members"
cp "$src/payload/sendmail.cf" "$src/payload/ipop3" "$work/members/"
head -c $((256 * mib)) /dev/urandom > "$work/members/quorvane"
# shellcheck disable=SC2086
measure maker_tar "$build/tools/make_payload" tar "$work/qv.tar" "$work/members" $members
rm -r "$work/members"
gzip -9 -c "$work/qv.tar" > "$work/qv.tar.gz"
rm "$work/qv.tar"
echo "package_bytes $(stat -c %s "$work/qv.tar.gz")" >> "$figures"
measure maker_encode "$build/tools/make_payload" encode "$work/qv.tar.gz" "$work/qv.ecd"
measure base64w "sh" -c 'base64 -w 72 "$1" > "$2"' sh "$work/qv.tar.gz" "$work/b64"
rm "$work/b64"

echo "building the probe around that package" >&2
cat > "$work/blob.S" <<ASM
	.section .rodata
	.globl kPayloadText
	.balign 16
kPayloadText:
	.incbin "$work/qv.ecd"
.LEnd:
	.byte 0
	.globl kPayloadTextSize
	.balign 8
kPayloadTextSize:
	.quad .LEnd - kPayloadText
	.section .note.GNU-stack,"",@progbits
ASM
g++ -O2 -std=c++20 -pthread -I"$src" -o "$work/probe" "$src/bench/probe.cc" "$work/blob.S" \
  "$build/libqvcore.a" "$build/common/libqvcommon.a"
rm "$work/qv.ecd"
mkdir "$work/dist"
cp "$build/dist/decode" "$work/dist/"

echo "measuring the extraction against tar -xzf (in the sandbox)" >&2
"$build/bench/sandbox_bench" extract "$work/probe" "$work/dist" "$work/qv.tar.gz" |
  grep -E '^(extract|tar|commands_alone)_' >> "$figures"
echo "measuring a default installation (in the sandbox)" >&2
"$build/bench/sandbox_bench" install "$work/probe" "$build/dist" |
  grep -E '^install_' >> "$figures"
rm -f "$work/qv.tar.gz" "$work/probe"
echo "measuring vdeliver and vpop3d (in the sandbox)" >&2
"$build/bench/mail_bench" > "$work/mail"
grep -E '^pop3_' "$work/mail" >> "$figures"

echo "running each fuzz target for ${fuzz_seconds} s, as make test does" >&2
"$src/fuzz/run.sh" "$fuzz_build" "$fuzz_seconds" > "$work/fuzz"

machine="$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), $(nproc) cores,\
 $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $(uname -sr),\
 load average $load at the start"

# The tables, as Markdown.
awk -v machine="$machine" -v date="$(date -u +%Y-%m-%d)" '
  { f[$1] = $2 }
  function mark(ok) { return ok ? "met" : "**missed**" }
  END {
    printf "Measured %s on %s.\n\n", date, machine
    print "| Measure | Figure | Goal |"
    print "|---|---|---|"
    for (i = 1; i <= 3; ++i) {
      size = i == 1 ? 16 : i == 2 ? 64 : 256
      d = "decode_" size; b = "base64d_" size
      printf "| `decode` / `base64 -d`, %d MiB | %.2f× the throughput; peak memory %.1f MiB against %.1f MiB | |\n",
        size, f[b "_seconds"] / f[d "_seconds"], f[d "_kib"] / 1024, f[b "_kib"] / 1024
    }
    package = f["package_bytes"]
    disk = f["extract_disk_peak"] / package
    time_ratio = f["extract_seconds"] / f["tar_seconds"]
    printf "| Extraction / `tar -xzf`, 256 MiB package | %.2f× the time (%.2f s against %.2f s) | ≤ 1.5×, %s |\n",
      time_ratio, f["extract_seconds"], f["tar_seconds"], mark(time_ratio <= 1.5)
    printf "| Its three commands alone, from the text on disk | %.2f× the time of `tar -xzf` (%.2f s) | |\n",
      f["commands_alone_seconds"] / f["tar_seconds"], f["commands_alone_seconds"]
    printf "| Working folder disk peak | %.4f× the package (`tar -xzf`: %.4f×) | ≤ 2.0×, %s |\n",
      disk, f["tar_disk_peak"] / package, mark(disk <= 2.0)
    maker_kib = f["maker_tar_kib"] > f["maker_encode_kib"] ? f["maker_tar_kib"] : f["maker_encode_kib"]
    speed = f["base64w_seconds"] / f["maker_encode_seconds"]
    printf "| Payload maker, 256 MiB package | peak memory %.1f MiB; Base64 %.2f× the speed of `base64 -w 72` | < 16 MiB, ≥ 1×, %s |\n",
      maker_kib / 1024, speed, mark(maker_kib < 16384 && speed >= 1)
    own = f["install_seconds"] - f["install_command_seconds"]
    printf "| Default installation, wall time | %.2f s: installer %.2f s, its commands %.2f s | |\n",
      f["install_seconds"], own, f["install_command_seconds"]
    mb = f["pop3_mailbox_bytes"] / 1000000
    rate = f["pop3_read_seconds"] / f["pop3_retr_seconds"]
    grown = f["pop3_retr_kib"] - f["pop3_small_kib"]
    printf "| `vpop3d` RETR of every message, %.0f MB mailbox of 2,000 × 100 KiB / reading the file once | %.2f× the rate (%.0f MB/s against %.0f MB/s); peak memory %.1f MiB (%.1f MiB for one message) | ≥ 0.5×, constant memory, %s |\n",
      mb, rate, mb / f["pop3_retr_seconds"], mb / f["pop3_read_seconds"],
      f["pop3_retr_kib"] / 1024, f["pop3_small_kib"] / 1024, mark(rate >= 0.5 && grown < 1024)
  }' "$figures" > "$work/performance.md"
{
  echo "Executions per fuzz target in \`make test\` (${fuzz_seconds} s each), measured $(date -u +%Y-%m-%d) on $machine:"
  echo
  echo "| Target | Executions |"
  echo "|---|---|"
  awk '{ printf "| `%s` | %s |\n", $1, $2 }' "$work/fuzz"
} > "$work/testing.md"

cat "$work/performance.md"
echo
cat "$work/testing.md"
echo
grep -vE '^pop3_' "$work/mail"

# Replaces the lines between "<!-- NAME:begin -->" and "<!-- NAME:end -->".
replace_region() {
  awk -v name="$1" -v file="$2" '
    $0 == "<!-- " name ":begin -->" { print; while ((getline line < file) > 0) print line; skip = 1; next }
    $0 == "<!-- " name ":end -->" { skip = 0 }
    !skip { print }' "$src/README.md" > "$work/README.md"
  cat "$work/README.md" > "$src/README.md"
}
if [ "$readme" = --readme ]; then
  replace_region bench-figures "$work/performance.md"
  replace_region fuzz-figures "$work/testing.md"
  echo "README.md: figures rewritten" >&2
fi
