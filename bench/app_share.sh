#!/usr/bin/env bash
# The whole application's share of one core and its resident memory on the private desktop, with
# 1,000 extra sleeping processes: first with its window open, then minimised, from steady state on
# (90 s after start), each beside top -b -d 1 over the same seconds.
#   bench/app_share.sh [open seconds] [minimised seconds]     (default 120 and 480: ten minutes)
# Run from the source tree after building (VELMORA_BUILD_DIR, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VELMORA_INSIDE_DESKTOP:-}" != 1 ]; then exec ./scripts/with-desktop.sh "$0" "$@"; fi
source bench/share_common.sh

open_seconds=${1:-120}
minimised_seconds=${2:-480}
extra=1000

add_sleepers "$extra"
start_velmora
echo "processes on the machine: $(process_count) ($extra of them sleeping extras)"
echo "load average at start: $(load_average)"
wait_steady
measure "$open_seconds"
echo "window open: $(describe_share)"
echo "load average: $(load_average)"
xdotool windowminimize "$window"
sleep 2
measure "$minimised_seconds"
echo "minimised: $(describe_share)"
echo "load average at end: $(load_average)"
echo "resident memory at end: $(resident_mib)"
