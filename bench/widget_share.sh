#!/usr/bin/env bash
# The whole application's share of one core and its resident memory on the private desktop with
# the floating widget open and the main window minimised, 1,000 extra sleeping processes.
# A floor is measured first in the same run: the same application with the widget closed.
#   bench/widget_share.sh [seconds] [floor seconds]     (default 600: ten minutes, and 120)
# Run from the source tree after building (VELMORA_BUILD_DIR, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VELMORA_INSIDE_DESKTOP:-}" != 1 ]; then exec ./scripts/with-desktop.sh "$0" "$@"; fi

seconds=${1:-600}
floor_seconds=${2:-120}
warmup_seconds=20
extra=1000
build=${VELMORA_BUILD_DIR:-build}
ticks=$(getconf CLK_TCK)

home=$(mktemp -d /tmp/velmora-widget.XXXXXX)
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

cpu_ticks() {
  local rest
  rest=$(sed 's/^.*) //' "/proc/$pid/stat")
  awk '{ print $12 + $13 }' <<<"$rest"
}
field_kib() { awk -v key="$1:" '$1 == key { print $2 }' "/proc/$pid/status"; }

# Starts Velmora in fresh private folders, the first-run sheet already seen and the widget open
# at the last run or not (so that it opens at start), then minimises the main window.
launch() {
  local open=$1
  rm -rf "$home/config" "$home/data" "$home/cache"
  mkdir -p "$home/config/Velmora"
  cat >"$home/config/Velmora/defaults.json" <<JSON
{"Velmora.FirstRunCompleted":true,"Velmora.StableHintDismissed":true,
 "Velmora.FloatingWidgetPreferences":{"isCompact":false,"placement":"floating","autoCollapseDock":true,
  "showSystemMemory":true,"trendRangeMinutes":15,"wasVisible":$open}}
JSON
  XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" HOME="$home" \
    "$build/velmora" >"$home/log" 2>&1 &
  pid=$!
  local window="" panel=""
  for _ in $(seq 200); do
    window=$(xdotool search --all --onlyvisible --pid "$pid" --name '^Velmora$' 2>/dev/null | tail -n 1 || true)
    panel=$(xdotool search --all --onlyvisible --pid "$pid" --name '^Velmora widget$' 2>/dev/null | tail -n 1 || true)
    [ -n "$window" ] && { [ "$open" = false ] || [ -n "$panel" ]; } && break
    sleep 0.1
  done
  if [ -z "$window" ] || { [ "$open" = true ] && [ -z "$panel" ]; }; then
    echo "The main window or the widget did not appear:"
    cat "$home/log"
    exit 1
  fi
  xdotool windowminimize "$window"
  sleep "$warmup_seconds"
}

# Share of one core over `seconds`, in percent.
share() {
  local seconds=$1 before after start end
  before=$(cpu_ticks)
  start=$(date +%s.%N)
  sleep "$seconds"
  after=$(cpu_ticks)
  end=$(date +%s.%N)
  awk -v t="$((after - before))" -v hz="$ticks" -v s="$start" -v e="$end" \
    'BEGIN { printf "%.3f", 100 * t / hz / (e - s) }'
}

stop() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=""
}

echo "processes on the machine: $(ls -d /proc/[0-9]* 2>/dev/null | wc -l) ($extra of them sleeping extras)"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

# The floor: the same application with the widget closed.
launch false
floor=$(share "$floor_seconds")
floor_rss=$(($(field_kib VmRSS) / 1024))
stop
echo "floor, widget closed, main window minimised, $floor_seconds s: $floor % of one core, resident $floor_rss MiB"

launch true
open=$(share "$seconds")
if ! xdotool search --all --onlyvisible --pid "$pid" --name '^Velmora widget$' >/dev/null 2>&1; then
  echo "The widget went away while the main window was minimised."
  exit 1
fi
echo "widget open, main window minimised, $seconds s: $open % of one core (target at most 0.5 %)"
awk -v o="$open" -v f="$floor" 'BEGIN { if (f > 0) printf "ratio to the floor: %.2f (the widget itself: %+.3f %% of one core)\n", o / f, o - f }'
echo "resident memory at end: $(($(field_kib VmRSS) / 1024)) MiB (peak $(($(field_kib VmHWM) / 1024)) MiB; target at most 80 MiB)"
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
