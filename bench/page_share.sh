#!/usr/bin/env bash
# The whole application's share of one core on the private desktop with each page that redraws
# every second open in turn (Overview, Stories, Live Chart, Who's heavy at one hour, Trends), the
# pages chosen by their shortcuts, beside the same application minimised. Open and minimised take
# turns in short slices, so that both figures of a page see the same machine (builds and other
# programs starting processes make the sampler's own share move by more than a page costs). From
# steady state on (90 s after start), beside top -b -d 1 over the same seconds.
#   bench/page_share.sh [seconds per slice] [slices of each per page]     (default 10 and 6)
# Run from the source tree after building (VELMORA_BUILD_DIR, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VELMORA_INSIDE_DESKTOP:-}" != 1 ]; then exec ./scripts/with-desktop.sh "$0" "$@"; fi
source bench/share_common.sh

slice_seconds=${1:-10}
slices=${2:-6}

start_velmora
# Who's heavy at "1 hour", its costliest range: the keyboard reaches the range picker's first
# button after the toolbar's two and "Show charts"; arrows move along it, clicking from the chosen
# "5 min" onto "1 hour".
xdotool windowactivate --sync "$window" key --clearmodifiers ctrl+5
sleep 1
xdotool key --clearmodifiers --delay 150 Tab Tab Tab Tab Right Right
wait_steady
echo "load average at start: $(load_average)"
for page in "Overview ctrl+1" "Stories ctrl+2" "Live Chart ctrl+3" "Who's heavy ctrl+5" "Trends ctrl+6"; do
  open_app=0 open_top=0 open_seconds=0 minimised_app=0 minimised_top=0 minimised_seconds=0
  for _ in $(seq "$slices"); do
    xdotool windowactivate --sync "$window" key --clearmodifiers "${page##* }" 2>/dev/null || true
    sleep 1
    share_reset
    total_app_ns=$open_app total_top_ns=$open_top total_seconds=$open_seconds
    measure_add "$slice_seconds"
    open_app=$total_app_ns open_top=$total_top_ns open_seconds=$total_seconds open=$share
    xdotool windowminimize --sync "$window" 2>/dev/null || xdotool windowminimize "$window"
    sleep 1
    share_reset
    total_app_ns=$minimised_app total_top_ns=$minimised_top total_seconds=$minimised_seconds
    measure_add "$slice_seconds"
    minimised_app=$total_app_ns minimised_top=$total_top_ns minimised_seconds=$total_seconds minimised=$share
  done
  top_share=$(awk -v n="$((open_top + minimised_top))" -v a="$open_seconds" -v b="$minimised_seconds" \
    'BEGIN { printf "%.3f", n / 1e7 / (a + b) }')
  awk -v p="${page% *}" -v o="$open" -v m="$minimised" -v t="$top_share" -v n="$slices" -v s="$slice_seconds" \
    'BEGIN { printf "%s: open %.3f %% of one core, minimised %.3f %%, top -b -d 1 %.3f %% (%d slices of %d s each); open costs %+.3f %%\n", p, o, m, t, n, s, o - m }'
done
echo "load average at end: $(load_average)"
