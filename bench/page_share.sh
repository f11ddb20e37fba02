#!/usr/bin/env bash
# The whole application's share of one core on the private desktop with each page that redraws
# every second open in turn (Overview, Stories, Live Chart, Who's heavy at one hour, Trends), the
# pages chosen by their shortcuts, beside the same application minimised. Open and minimised take
# turns in short slices, so that both figures of a page see the same machine (builds and other
# programs starting processes make the sampler's own share move by more than a page costs).
#   bench/page_share.sh [seconds per slice] [slices of each per page]     (default 10 and 6)
# Run from the source tree after building (VELMORA_BUILD_DIR, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VELMORA_INSIDE_DESKTOP:-}" != 1 ]; then exec ./scripts/with-desktop.sh "$0" "$@"; fi
source bench/share_common.sh

slice_seconds=${1:-10}
slices=${2:-6}
warmup_seconds=20

# Processor ticks and seconds over one slice, added to the named totals.
measure() {
  local -n ticks_total=$1 seconds_total=$2
  local before after start end
  before=$(cpu_ticks)
  start=$(date +%s.%N)
  sleep "$slice_seconds"
  after=$(cpu_ticks)
  end=$(date +%s.%N)
  ticks_total=$((ticks_total + after - before))
  seconds_total=$(awk -v t="$seconds_total" -v s="$start" -v e="$end" 'BEGIN { printf "%.6f", t + e - s }')
}
percent() { awk -v t="$1" -v hz="$ticks" -v s="$2" 'BEGIN { printf "%.3f", 100 * t / hz / s }'; }

start_velmora
# Who's heavy at "1 hour", its costliest range: the keyboard reaches the range picker's first
# button after the toolbar's two and "Show charts"; arrows move along it, clicking from the chosen
# "5 min" onto "1 hour".
xdotool windowactivate --sync "$window" key --clearmodifiers ctrl+5
sleep 1
xdotool key --clearmodifiers --delay 150 Tab Tab Tab Tab Right Right
sleep "$warmup_seconds"
echo "load average at start: $(load_average)"
for page in "Overview ctrl+1" "Stories ctrl+2" "Live Chart ctrl+3" "Who's heavy ctrl+5" "Trends ctrl+6"; do
  open_ticks=0 open_seconds=0 minimised_ticks=0 minimised_seconds=0
  for _ in $(seq "$slices"); do
    xdotool windowactivate --sync "$window" key --clearmodifiers "${page##* }" 2>/dev/null || true
    sleep 1
    measure open_ticks open_seconds
    xdotool windowminimize --sync "$window" 2>/dev/null || xdotool windowminimize "$window"
    sleep 1
    measure minimised_ticks minimised_seconds
  done
  open=$(percent "$open_ticks" "$open_seconds")
  minimised=$(percent "$minimised_ticks" "$minimised_seconds")
  awk -v p="${page% *}" -v o="$open" -v m="$minimised" -v n="$slices" -v s="$slice_seconds" \
    'BEGIN { printf "%s: open %.3f %% of one core, minimised %.3f %% (%d slices of %d s each); open costs %+.3f %%\n", p, o, m, n, s, o - m }'
done
echo "load average at end: $(load_average)"
