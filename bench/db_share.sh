#!/usr/bin/env bash
# The whole application's share of one core on the private desktop, main window minimised, from
# steady state on (90 s after start), beside a database server's processes (bench/db_server.c): a
# postmaster holding 30 MiB of its own and 256 MiB of shared buffers (shared anonymous memory)
# mapped before it forks, a 150 MiB table prewarmed into them, 4 auxiliary children that live on
# and read a few MiB of the buffers now and then, and 10 connections a second, each a backend
# forked without exec that reads the whole table through the buffers (150 MiB of shared memory
# mapped) and exits 100 ms after its fork. First beside the server, then beside the server and a
# compile (two g++ -O2 of the project's larger sources at a time, over and over), each beside
# top -b -d 1 over the same seconds (the aim: at most top's share, half of it better).
# Then, the application ended, the server's figure from bench/cow_truth --window while backends
# come, the backends stopped 20 s in: for each of the 15 s after the stop, whether the figure is
# within 2 % or 16 MiB of the proportional sum read right after it, and the first second from
# which all are (the aim: 8 s at most).
#   bench/db_share.sh [seconds]     (default 60, for each of the two shares)
# Run from the source tree after building (VELMORA_BUILD_DIR, default build; the benchmarks on).
# bench/browser_share.sh and bench/fd_limit_share.sh measure the other costs a change of the
# sampling must keep.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VELMORA_INSIDE_DESKTOP:-}" != 1 ]; then exec ./scripts/with-desktop.sh "$0" "$@"; fi
source bench/share_common.sh

seconds=${1:-60}
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [seconds]"; exit 2; }
truth=$build/bench/cow_truth
[ -x "$truth" ] || { echo "$truth is missing (build with the benchmarks on)"; exit 1; }
churn_seconds=20
after_seconds=15

db_pid=""
stop_db() {
  stop_session "$db_pid"
  db_pid=""
}
trap 'stop_db; cleanup' EXIT

cc -O2 -o "$home/postgres" bench/db_server.c
setsid "$home/postgres" 256 150 30 10 >"$home/db.log" 2>&1 &
db_pid=$!
for _ in $(seq 300); do grep -q ready "$home/db.log" && break; sleep 0.1; done
grep -q ready "$home/db.log" || { echo "the database server did not start:"; cat "$home/db.log"; exit 1; }

start_velmora
xdotool windowminimize "$window"
echo "processes on the machine: $(process_count)"
echo "load average at start: $(load_average)"
wait_steady
measure "$seconds"
echo "beside the database server (10 backends a second): $(describe_share)"

start_compile
sleep 5
measure "$seconds"
echo "beside the database server and a compile: $(describe_share)"
echo "load average at end: $(load_average)"
stop_load
stop_velmora

echo "-- the server's figure, its backends stopped $churn_seconds s in"
COW_TRUTH_EACH=1 "$truth" --window $((churn_seconds + after_seconds + 2)) "$db_pid" >"$home/truth.out" 2>&1 &
bench=$!
sleep "$churn_seconds"
kill -USR1 "$db_pid"
stopped=$(date +%s.%N)
wait "$bench" || true
grep -v '^second ' "$home/truth.out"
tail -n 1 "$home/db.log"
# Each second after the stop: "second N at TIME: ..., figure F MiB, sum after S MiB (within|OUTSIDE); ..."
awk -v stop="$stopped" -v n="$after_seconds" '
  /^second / {
    t = $4 + 0
    if (t <= stop || shown == n) next
    shown++
    figure = $0; sub(/.*figure /, "", figure); sub(/ MiB.*/, "", figure)
    sum = $0; sub(/.*sum after /, "", sum); sub(/ MiB.*/, "", sum)
    right = index($0, "(within)") > 0
    printf "%2d: %.1f s after the stop, figure %s MiB, sum %s MiB, %s\n", shown, t - stop, figure, sum, right ? "within" : "OUTSIDE"
    if (!right) last_off = shown
  }
  END {
    if (shown < n) printf "only %d seconds sampled after the stop\n", shown
    else if (last_off == n) printf "the figure is not yet right %d s after the stop\n", n
    else printf "right from second %d after the stop on\n", last_off + 1
  }' "$home/truth.out"
