#!/usr/bin/env bash
# Installs, only when missing, the Debian packages that building and testing need.
# Packages that the scenario tests run inside the sandbox (sendmail and friends) are
# never installed here: the tests download them and install them into a sandbox layer.
set -euo pipefail
wanted=(cmake ninja-build g++ libgtest-dev libgmock-dev e2fsprogs gzip tar passwd util-linux
  clang-14 libfuzzer-14-dev ansible ansible-lint libcrypt-dev python3 iproute2 time curl)
missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi
