#!/usr/bin/env bash
# The whole application's share of one core and its resident memory on the private desktop, with
# 1,000 extra sleeping processes: first with its window open, then minimised.
#   bench/app_share.sh [open seconds] [minimised seconds]     (default 120 and 480: ten minutes)
# Run from the source tree after building (VELMORA_BUILD_DIR, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VELMORA_INSIDE_DESKTOP:-}" != 1 ]; then exec ./scripts/with-desktop.sh "$0" "$@"; fi

open_seconds=${1:-120}
minimised_seconds=${2:-480}
warmup_seconds=20
extra=1000
build=${VELMORA_BUILD_DIR:-build}
ticks=$(getconf CLK_TCK)

home=$(mktemp -d /tmp/velmora-share.XXXXXX)
pid=""
sleepers=()
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  for s in "${sleepers[@]}"; do kill "$s" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$home"
}
trap cleanup EXIT

for _ in $(seq "$extra"); do
  sleep 100000 &
  sleepers+=("$!")
done

# Private folders, and the first-run sheet already seen, so nothing but the sampling runs.
mkdir -p "$home/config/Velmora"
echo '{"Velmora.FirstRunCompleted":true,"Velmora.StableHintDismissed":true}' >"$home/config/Velmora/defaults.json"
XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" HOME="$home" \
  "$build/velmora" >"$home/log" 2>&1 &
pid=$!
window=""
for _ in $(seq 200); do
  window=$(xdotool search --all --onlyvisible --pid "$pid" --name '^Velmora$' 2>/dev/null | tail -n 1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "The main window did not appear:"
  cat "$home/log"
  exit 1
fi

# utime + stime of the whole process, in clock ticks (the name in parentheses may hold spaces).
cpu_ticks() {
  local rest
  rest=$(sed 's/^.*) //' "/proc/$pid/stat")
  awk '{ print $12 + $13 }' <<<"$rest"
}
field_kib() { awk -v key="$1:" '$1 == key { print $2 }' "/proc/$pid/status"; }

# Share of one core over `seconds`, in percent.
measure() {
  local seconds=$1 before after start end
  before=$(cpu_ticks)
  start=$(date +%s.%N)
  sleep "$seconds"
  after=$(cpu_ticks)
  end=$(date +%s.%N)
  awk -v t="$((after - before))" -v hz="$ticks" -v s="$start" -v e="$end" \
    'BEGIN { printf "%.3f %% of one core (%.2f s of processor over %.0f s)", 100 * t / hz / (e - s), t / hz, e - s }'
}

echo "processes on the machine: $(ls -d /proc/[0-9]* 2>/dev/null | wc -l) ($extra of them sleeping extras)"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
sleep "$warmup_seconds"
echo "window open, $open_seconds s: $(measure "$open_seconds")"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
xdotool windowminimize "$window"
sleep 2
echo "minimised, $minimised_seconds s: $(measure "$minimised_seconds")"
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "resident memory at end: $(($(field_kib VmRSS) / 1024)) MiB (peak $(($(field_kib VmHWM) / 1024)) MiB)"
