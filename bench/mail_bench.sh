#!/bin/sh
# Runs inside an installed sandbox (bench/mail_bench.cc sets it up):
# delivers the same 1,000 messages with vdeliver and with sendmail's
# mail.local into an mbox each, prints both rates and their ratio, then
# vdeliver's peak memory for a 1 KiB and a 50 MB message.
#   mail_bench.sh VDELIVER (peak_memory sits beside this script)
set -eu
vdeliver=$1
count=1000
work=/var/tmp/qvbench
mkdir -p $work

# A typical message: headers and 4 KiB of text.
{
  printf 'From: Sender <sender@qvhost.example.test>\nTo: alice@example.test\n'
  printf 'Subject: benchmark\n\n'
  head -c 3072 /dev/urandom | base64 -w 72
} > $work/message

now() { date +%s.%N; }

# Seconds taken by `count` runs of the command given, each fed the message.
time_deliveries() {
  start=$(now)
  i=0
  while [ $i -lt $count ]; do
    "$@" < $work/message
    i=$((i + 1))
  done
  awk "BEGIN { print $(now) - $start }"
}

vdeliver_time=$(time_deliveries "$vdeliver" -f sender@qvhost.example.test alice example.test)
local_time=$(time_deliveries /usr/libexec/sendmail/mail.local -f sender@qvhost.example.test \
  -d hostuser)
grep -c '^From ' /var/spool/vmail/example.test/alice | sed 's/^/vdeliver messages in the mbox: /'
grep -c '^From ' /var/mail/hostuser | sed 's/^/mail.local messages in the mbox: /'
rate() { awk "BEGIN { printf \"%d messages in %.2f s, %.0f messages/s\", $count, $1, $count / $1 }"; }
echo "vdeliver:   $(rate "$vdeliver_time")"
echo "mail.local: $(rate "$local_time")"
awk "BEGIN { printf \"throughput ratio vdeliver / mail.local: %.2f\\n\", $local_time / $vdeliver_time }"

# Peak resident memory of one delivery, as the kernel counts it.
peak_kib() {
  message=$1
  shift
  "$(dirname "$0")/peak_memory" "$@" < "$message"
}
head -c 1024 /dev/urandom | base64 -w 72 > $work/small
head -c 37500000 /dev/urandom | base64 -w 76 > $work/large
printf 'vdeliver peak memory, 1 KiB message: %s KiB\n' \
  "$(peak_kib $work/small "$vdeliver" bob example.test)"
printf 'vdeliver peak memory, %d MB message: %s KiB\n' "$(($(stat -c %s $work/large) / 1000000))" \
  "$(peak_kib $work/large "$vdeliver" bob example.test)"
