#!/usr/bin/env bash
# make dist twice from the same commit: from different folders, at different
# times, under another umask and time zone, the archives are the same bytes;
# and the archive holds what an administrator receives, as SHA256SUMS says.
#   dist_reproducible_test.sh SOURCE_DIR PROGRAM_DIR
set -euo pipefail
source_dir=$1 program_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
version=$(head -n 1 "$source_dir/VERSION")
name=qvinstall-$version

mkdir "$work/first" "$work/second" "$work/programs"
"$source_dir/tools/make_dist.sh" "$source_dir" "$program_dir" "$work/first" >/dev/null
sleep 1
# The programs copied afresh: other times and modes on the inputs.
(umask 077 && cp "$program_dir"/{qvinstall,decode,qvpreview} "$work/programs/")
(cd / && umask 027 && TZ=Pacific/Kiritimati \
  "$source_dir/tools/make_dist.sh" "$source_dir" "$work/programs" "$work/second" >/dev/null)
cmp "$work/first/$name.tar.gz" "$work/second/$name.tar.gz"

expected="$name/ 0/0 drwxr-xr-x
$name/README 0/0 -rw-r--r--
$name/SHA256SUMS 0/0 -rw-r--r--
$name/decode 0/0 -rwxr-xr-x
$name/qvinstall 0/0 -rwxr-xr-x
$name/qvpreview 0/0 -rwxr-xr-x"
listed=$(tar -tvzf "$work/first/$name.tar.gz" --numeric-owner | awk '{print $6, $2, $1}')
[[ $listed == "$expected" ]] || { echo "members: $listed"; exit 1; }

tar -xzf "$work/first/$name.tar.gz" -C "$work"
(cd "$work/$name" && sha256sum --check --strict --quiet SHA256SUMS)
[[ $(head -n 1 "$work/$name/README") == "qvinstall $version — the Quorvane server installer" ]]
[[ $("$work/$name/qvpreview" --version) == "qvpreview $version" ]]
# The README speaks only of what the archive holds: no source tree, no build.
if grep -nE '^## (Two commands|Rolling out|Folders|Testing|Performance)|contrib/|build/|tests/|payload/|host/|make (demo|test|dist|bench|fuzz)|developers:' \
  "$work/$name/README"; then
  echo "the release README speaks of what the archive does not hold"
  exit 1
fi
echo "same archive twice: $name.tar.gz, $(stat -c %s "$work/first/$name.tar.gz") bytes"
