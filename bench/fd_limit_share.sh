#!/usr/bin/env bash
# The whole application's share of one core on the private desktop, main window minimised, under
# the soft open-file limit Debian starts desktop programs with (ulimit -Sn 1024), beside 250
# processes whose shared memory moves every second, and 20 more started once the application is
# at steady state (90 s after start). Prints how many statm and status files of other processes the
# application keeps open, how many of the 20 later ones have a kept statm (without one a process is
# opened by path every second, and a reused pid goes unnoticed), and the share beside top -b -d 1
# over the same seconds.
#   bench/fd_limit_share.sh [seconds]     (default 60)
# Run from the source tree after building (VELMORA_BUILD_DIR, default build; the benchmarks on).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VELMORA_INSIDE_DESKTOP:-}" != 1 ]; then exec ./scripts/with-desktop.sh "$0" "$@"; fi
source bench/share_common.sh

seconds=${1:-60}
first_movers=250
later_movers=20
movers=$build/bench/shared_movers
[ -x "$movers" ] || { echo "$movers is missing (build with VELMORA_BENCH=ON)"; exit 1; }

mover_groups=()
stop_movers() {
  # Each group started in a session of its own: the helper and its children go together.
  for group in "${mover_groups[@]}"; do kill -- "-$group" 2>/dev/null || true; done
  for group in "${mover_groups[@]}"; do wait "$group" 2>/dev/null || true; done
  mover_groups=()
}
trap 'stop_movers; cleanup' EXIT

# Starts $1 movers and waits until all of them run; sets movers_pid to their parent.
start_movers() {
  setsid "$movers" "$1" >/dev/null 2>&1 &
  movers_pid=$!
  mover_groups+=("$movers_pid")
  for _ in $(seq 100); do
    [ "$(pgrep -c -P "$movers_pid" || true)" -ge "$1" ] && return
    sleep 0.1
  done
  echo "the $1 shared-memory movers did not all start"
  exit 1
}

# Files of other processes the application holds open, one link target a line.
kept_files() { for fd in /proc/"$pid"/fd/*; do readlink "$fd" 2>/dev/null || true; done; }
describe_kept() {
  local files
  files=$(kept_files)
  echo "statm $(grep -c '^/proc/[0-9]*/statm$' <<<"$files" || true)," \
    "status $(grep -c '^/proc/[0-9]*/status$' <<<"$files" || true)," \
    "all descriptors $(wc -l <<<"$files")"
}

ulimit -Sn 1024
start_movers "$first_movers"
start_velmora
xdotool windowminimize "$window"
echo "open files of the application: $(awk '/^Max open files/ { print "soft " $4 ", hard " $5 }' "/proc/$pid/limits")"
echo "processes on the machine: $(process_count)"
echo "load average at start: $(load_average)"
wait_steady
echo "kept at steady state beside $first_movers movers: $(describe_kept)"

start_movers "$later_movers"
later=$(pgrep -P "$movers_pid")
sleep 5
echo "processes on the machine: $(process_count)"
measure "$seconds"
files=$(kept_files)
with_statm=0
for p in $later; do grep -qx "/proc/$p/statm" <<<"$files" && with_statm=$((with_statm + 1)); done
echo "kept after $later_movers more started: $(describe_kept)"
echo "later movers with a kept statm: $with_statm of $later_movers"
echo "beside $((first_movers + later_movers)) movers, main window minimised: $(describe_share)"
echo "load average at end: $(load_average)"
