#!/usr/bin/env bash
# make demo: a whole installation as qvpreview shows it, on a throwaway view
# of this machine with a demo host's files laid over it (demo/host, and
# demo/mail-host for the mail part). Nothing reaches the machine itself.
#   demo.sh PROGRAM_DIR [--mail]
# To show more of the installed service, add a shell command to
# after_install: each runs in the same view once the installer is done, and
# the report at the end covers what they changed too.
set -euo pipefail
program_dir=$1
mail=${2:-}
demo_dir=$(cd "$(dirname "$0")" && pwd)

layers=(--layer "$demo_dir/host")
# The mail question, port, disconnect time, folder, BIND menu, name server,
# four zone times, the address of the Windows machine, the start question.
answers=(n '' '' '' '' '' '' '' '' '' 192.168.1.20 y)
if [[ $mail == --mail ]]; then
  layers+=(--layer "$demo_dir/mail-host")
  # With the mail part: creating the popusers group and keeping the root folder.
  answers=(y '' '' '' y '' '' '' '' '' '' '' 192.168.1.20 y)
fi
# The installed service answers a client on its port, then qvremove takes
# everything off again (each command runs in a fresh process tree, so the
# service is started there first).
after_install=(
  "quorvane start && bash -c 'exec 3<>/dev/tcp/127.0.0.1/33333; printf \"STATUS\\r\\nQUIT\\r\\n\" >&3; tr -d \"\\r\" <&3' && quorvane stop"
  "echo y | /usr/local/quorvane/bin/qvremove"
)

echo "=== Answers ==="
for answer in "${answers[@]}"; do echo "${answer:-<Enter>}"; done
echo "=== qvpreview ==="
then_options=()
for command in "${after_install[@]}"; do then_options+=(--then "$command"); done
printf '%s\n' "${answers[@]}" | "$program_dir/qvpreview" "${layers[@]}" "${then_options[@]}"
