#!/usr/bin/env bash
# make demo: a whole installation as qvpreview shows it, on a throwaway view
# of this machine with a demo host's files laid over it (demo/host, and
# demo/mail-host for the mail part), answered by an answer file. Nothing
# reaches the machine itself.
#   demo.sh PROGRAM_DIR [--mail]
# To show more of the installed service, add a shell command to
# after_install: each runs in the same view once the installer is done,
# beside the service it started, and the report at the end covers what they
# changed too.
set -euo pipefail
program_dir=$1
mail=${2:-}
demo_dir=$(cd "$(dirname "$0")" && pwd)

layers=(--layer "$demo_dir/host")
answers=$demo_dir/answers.conf
if [[ $mail == --mail ]]; then
  layers+=(--layer "$demo_dir/mail-host")
  answers=$demo_dir/mail-answers.conf
fi
# The service the installer started answers a client on its port, then
# qvremove takes everything off again.
after_install=(
  "quorvane status && bash -c 'exec 3<>/dev/tcp/127.0.0.1/33333; printf \"STATUS\\r\\nQUIT\\r\\n\" >&3; tr -d \"\\r\" <&3' && quorvane stop"
  "echo y | /usr/local/quorvane/bin/qvremove"
)

echo "=== Answers ($answers) ==="
cat "$answers"
echo "=== qvpreview ==="
then_options=()
for command in "${after_install[@]}"; do then_options+=(--then "$command"); done
"$program_dir/qvpreview" --answers "$answers" "${layers[@]}" "${then_options[@]}" </dev/null
