#!/usr/bin/env bash
# Packs the release an administrator receives: qvinstall-<version>.tar.gz
# holding qvinstall, decode, qvpreview, the administrator's part of the
# README and SHA256SUMS. The archive depends on nothing but those files and
# the time of the last commit: members sorted by name, owner root, fixed
# modes, every time the commit's, gzip without a name or time. So two runs
# from the same commit give the same bytes.
#   make_dist.sh SOURCE_DIR PROGRAM_DIR OUTPUT_DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd) program_dir=$(cd "$2" && pwd) output_dir=$(cd "$3" && pwd)

version=$(head -n 1 "$source_dir/VERSION")
name=qvinstall-$version
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct) || {
    echo "make_dist: no commit to take the release time from; set SOURCE_DATE_EPOCH" >&2
    exit 1
  }
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -m 0755 "$stage/$name"
cd "$stage/$name"
for program in qvinstall decode qvpreview; do
  install -m 0755 "$program_dir/$program" "$program"
done
# The README without what is only for developers (the sections that speak
# of the source tree, and the parts marked developers:begin/end), so that it
# speaks only of what the archive holds; named with its version.
awk -v version="$version" '
  NR == 1 { sub(/^# qvinstall/, "qvinstall " version); print; next }
  /^<!-- developers:begin -->$/ { developers = 1; next }
  /^<!-- developers:end -->$/ { developers = 0; next }
  /^## / {
    skip = ($0 == "## Two commands" || $0 == "## Rolling out with Ansible" ||
            $0 == "## Folders" || $0 == "## Testing" || $0 == "## Performance")
  }
  # Blank lines go out only before text, so nothing cut leaves them at the end.
  !skip && !developers {
    if ($0 == "") { blank++; next }
    for (; blank > 0; blank--) print ""
    print
  }' "$source_dir/README.md" >README
sha256sum README decode qvinstall qvpreview >SHA256SUMS
chmod 0644 README SHA256SUMS

archive=$output_dir/$name.tar.gz
tar --create --format=gnu --sort=name --owner=0 --group=0 --numeric-owner \
  --mtime="@$SOURCE_DATE_EPOCH" --directory="$stage" "$name" |
  gzip -9 -n >"$archive.tmp"
mv "$archive.tmp" "$archive"
echo "$archive"
