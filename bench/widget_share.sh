#!/usr/bin/env bash
# The whole application's share of one core and its resident memory on the private desktop with
# the floating widget open and the main window minimised, 1,000 extra sleeping processes.
# A floor is measured first in the same run: the same application with the widget closed. Both from
# steady state on (90 s after start), beside top -b -d 1 over the same seconds.
#   bench/widget_share.sh [seconds] [floor seconds]     (default 600: ten minutes, and 120)
# Run from the source tree after building (VELMORA_BUILD_DIR, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VELMORA_INSIDE_DESKTOP:-}" != 1 ]; then exec ./scripts/with-desktop.sh "$0" "$@"; fi
source bench/share_common.sh

seconds=${1:-600}
floor_seconds=${2:-120}
extra=1000
add_sleepers "$extra"

# Starts Velmora in fresh private folders, the first-run sheet already seen and the widget open
# at the last run or not (so that it opens at start), then minimises the main window.
launch() {
  local open=$1
  rm -rf "$home/config" "$home/data" "$home/cache"
  start_velmora '"Velmora.FloatingWidgetPreferences":{"isCompact":false,"placement":"floating","autoCollapseDock":true,
  "showSystemMemory":true,"trendRangeMinutes":15,"wasVisible":'"$open"'}' "$([ "$open" = true ] && echo widget)"
  xdotool windowminimize "$window"
  wait_steady
}

echo "processes on the machine: $(process_count) ($extra of them sleeping extras)"
echo "load average at start: $(load_average)"

# The floor: the same application with the widget closed.
launch false
measure "$floor_seconds"
floor=$share
floor_rss=$(($(field_kib VmRSS) / 1024))
stop_velmora
echo "floor, widget closed, main window minimised: $(describe_share); resident $floor_rss MiB"

launch true
measure "$seconds"
open=$share
if ! xdotool search --all --onlyvisible --pid "$pid" --name '^Velmora widget$' >/dev/null 2>&1; then
  echo "The widget went away while the main window was minimised."
  exit 1
fi
echo "widget open, main window minimised: $(describe_share)"
awk -v o="$open" -v f="$floor" 'BEGIN { if (f > 0) printf "ratio to the floor: %.2f (the widget itself: %+.3f %% of one core)\n", o / f, o - f }'
echo "resident memory at end: $(($(field_kib VmRSS) / 1024)) MiB (peak $(($(field_kib VmHWM) / 1024)) MiB; target at most 80 MiB)"
echo "load average at end: $(load_average)"
