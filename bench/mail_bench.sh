#!/bin/sh
# Runs inside an installed sandbox (bench/mail_bench.cc sets it up):
# delivers the same 1,000 messages with vdeliver and with sendmail's
# mail.local into an mbox each, prints both rates and their ratio, then
# vdeliver's peak memory for a 1 KiB and a 50 MB message; then vpop3d's
# RETR of every message of a 200 MB mailbox against reading the file once,
# and its peak memory.
#   mail_bench.sh VDELIVER VPOP3D (peak_memory sits beside this script)
set -eu
vdeliver=$1
vpop3d=$2
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

# RETR of a 200 MB mailbox: 2,000 messages of 100 KiB, delivered by
# vdeliver, all fetched in one session whose answers go through a pipe to
# a reader, against the file read once through the same pipe to the same
# reader. Lines "pop3_NAME VALUE" are the figures bench/run.sh takes.
pop3_count=2000
pop3_user=carol
mailbox=/var/spool/vmail/example.test/$pop3_user
head -c 78000 /dev/urandom | base64 -w 76 > $work/pop3-body
i=0
while [ $i -lt $pop3_count ]; do
  i=$((i + 1))
  { printf 'From: Sender <sender@qvhost.example.test>\nTo: %s@example.test\n' $pop3_user
    printf 'Subject: message %05d\n\n' $i
    cat $work/pop3-body; } | head -c 102400 |
    "$vdeliver" -f sender@qvhost.example.test $pop3_user example.test
done
# The session's commands: log in, RETR each message, QUIT.
{
  printf 'USER %s@example.test\r\nPASS Hello world!\r\n' $pop3_user
  i=0
  while [ $i -lt $pop3_count ]; do i=$((i + 1)); printf 'RETR %d\r\n' $i; done
  printf 'QUIT\r\n'
} > $work/pop3-session
echo "pop3_mailbox_bytes $(stat -c %s $mailbox)"
cat $mailbox > /dev/null  # both start with the mailbox cached

# Wall time of the command given, with INPUT as its standard input and
# its output read through a pipe; its peak memory goes to $work/kib.
timed() {
  input=$1
  shift
  start=$(now)
  /usr/bin/time -f %M -o $work/time "$@" < "$input" | cat > /dev/null
  awk "BEGIN { print $(now) - $start }"
  tail -n 1 $work/time > $work/kib
}
# The two in turn, five times, so that other work on the machine weighs
# on both alike; the best time of each, and vpop3d's largest peak memory.
retr_best= read_best= retr_kib=0 n=0
while [ $n -lt 5 ]; do
  seconds=$(timed $work/pop3-session "$vpop3d" ipop3d)
  retr_best=$(awk -v s="$seconds" -v b="$retr_best" 'BEGIN { print (b == "" || s < b) ? s : b }')
  [ "$(cat $work/kib)" -gt "$retr_kib" ] && retr_kib=$(cat $work/kib)
  seconds=$(timed /dev/null cat $mailbox)
  read_best=$(awk -v s="$seconds" -v b="$read_best" 'BEGIN { print (b == "" || s < b) ? s : b }')
  n=$((n + 1))
done
echo "pop3_retr_seconds $retr_best"
echo "pop3_retr_kib $retr_kib"
echo "pop3_read_seconds $read_best"
"$vpop3d" ipop3d < $work/pop3-session | wc -c | sed 's/^/pop3_sent_bytes /'
# One message alone, for the memory a session needs whatever the mailbox.
{ printf 'From: Sender <sender@qvhost.example.test>\nTo: dave@example.test\n'
  printf 'Subject: alone\n\n'
  cat $work/pop3-body; } | head -c 102400 |
  "$vdeliver" -f sender@qvhost.example.test dave example.test
printf 'USER dave@example.test\r\nPASS Hello world!\r\nRETR 1\r\nQUIT\r\n' > $work/pop3-small
timed $work/pop3-small "$vpop3d" ipop3d > /dev/null
echo "pop3_small_kib $(cat $work/kib)"
