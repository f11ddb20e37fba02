#!/usr/bin/env bash
# The whole application's share of one core on the private desktop with each chart page open in
# turn (Overview, Live Chart, Who's heavy, Trends), the pages chosen by their shortcuts.
#   bench/page_share.sh [seconds per page]     (default 60)
# Run from the source tree after building (VELMORA_BUILD_DIR, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VELMORA_INSIDE_DESKTOP:-}" != 1 ]; then exec ./scripts/with-desktop.sh "$0" "$@"; fi

page_seconds=${1:-60}
warmup_seconds=20
build=${VELMORA_BUILD_DIR:-build}
ticks=$(getconf CLK_TCK)

home=$(mktemp -d /tmp/velmora-pages.XXXXXX)
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  wait 2>/dev/null || true
  rm -rf "$home"
}
trap cleanup EXIT

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

sleep "$warmup_seconds"
for page in "Overview ctrl+1" "Live Chart ctrl+3" "Who's heavy ctrl+5" "Trends ctrl+6"; do
  xdotool windowactivate --sync "$window" key --clearmodifiers "${page##* }" 2>/dev/null || true
  sleep 2
  echo "${page% *} open, $page_seconds s: $(measure "$page_seconds")"
done
