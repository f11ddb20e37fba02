#!/usr/bin/env bash
# The whole application's share of one core on the private desktop, main window minimised, from
# steady state on (90 s after start): first alone, then beside a build's worth of short processes
# (each second 20 shells, each running a child, both living about 1.5 s: 40 new processes a
# second). Both in the same run, from the same running application, each beside top -b -d 1 over
# the same seconds.
#   bench/build_share.sh [seconds]     (default 60, for each of the two)
# Run from the source tree after building (VELMORA_BUILD_DIR, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VELMORA_INSIDE_DESKTOP:-}" != 1 ]; then exec ./scripts/with-desktop.sh "$0" "$@"; fi
source bench/share_common.sh

seconds=${1:-60}
shells_per_second=20

churn_pid=""
stop_churn() {
  # Started in a session of its own: the loop and the shells it started go together.
  stop_session "$churn_pid"
  churn_pid=""
}
trap 'stop_churn; cleanup' EXIT

# Like make: a shell per step that runs a program and waits for it. The loop waits with bash's own
# read timeout, so that it starts no processes of its own between the steps.
churn() {
  local tick=$(awk -v n="$shells_per_second" 'BEGIN { printf "%.3f", 1 / n }') fd
  exec {fd}<> <(:)
  while :; do
    sh -c 'sleep 1.5; true' &
    read -r -t "$tick" -u "$fd" || true
  done
}
last_pid() { cut -d' ' -f5 /proc/loadavg; }

start_velmora
xdotool windowminimize "$window"
echo "processes on the machine: $(process_count)"
echo "load average at start: $(load_average)"
wait_steady
measure "$seconds"
alone=$share
alone_top=$share_top
echo "alone, main window minimised: $(describe_share)"

export -f churn
shells_per_second=$shells_per_second setsid bash -c churn >/dev/null 2>&1 &
churn_pid=$!
sleep 5
first=$(last_pid)
measure "$seconds"
handed=$(( $(last_pid) - first ))
[ "$handed" -ge 0 ] || handed=$(( handed + $(cat /proc/sys/kernel/pid_max) ))  # the counter went round
kill -0 "$churn_pid" 2>/dev/null || { echo "the process churn stopped during the measurement"; exit 1; }
echo "beside the churn ($(awk -v n="$handed" -v s="$share_seconds" 'BEGIN { printf "%.0f", n / s }') pids handed out a second): $(describe_share)"
awk -v b="$share" -v a="$alone" -v bt="$share_top" -v at="$alone_top" \
  'BEGIN { if (a > 0 && at > 0) printf "ratio to alone: %.2f (top: %.2f)\n", b / a, bt / at }'
echo "load average at end: $(load_average)"
