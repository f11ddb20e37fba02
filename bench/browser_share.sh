#!/usr/bin/env bash
# The whole application's share of one core on the private desktop, main window minimised, from
# steady state on (90 s after start): first with no browser, then beside Chromium with 8 local
# pages open in tabs, the one in front animating a canvas, then beside a forking server (100 MiB,
# 50 requests a second, each served by a fork that touches 20 MiB for 100 ms). All in the same
# run, from the same running application, each beside top -b -d 1 over the same seconds.
#   bench/browser_share.sh [seconds]     (default 60, for each of the three)
# Run from the source tree after building (VELMORA_BUILD_DIR, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VELMORA_INSIDE_DESKTOP:-}" != 1 ]; then exec ./scripts/with-desktop.sh "$0" "$@"; fi
source bench/share_common.sh

seconds=${1:-60}
browser_warmup_seconds=45

trap 'stop_browser; stop_forking_server; cleanup' EXIT
write_pages

start_velmora
xdotool windowminimize "$window"
echo "processes on the machine: $(process_count)"
echo "load average at start: $(load_average)"
wait_steady
measure "$seconds"
alone=$share
echo "no browser, main window minimised: $(describe_share)"

start_browser
# A browser maps and hands round shared memory busily for its first half minute or so.
sleep "$browser_warmup_seconds"
echo "browser processes: $(pgrep -c -s "$browser_pid" || echo 0); processes on the machine: $(process_count)"
measure "$seconds"
beside=$share
kill -0 "$browser_pid" 2>/dev/null || { echo "Chromium exited during the measurement"; exit 1; }
echo "beside Chromium (8 tabs, the canvas in front): $(describe_share)"
awk -v b="$beside" -v a="$alone" 'BEGIN { if (a > 0) printf "ratio to no browser: %.2f\n", b / a }'
stop_browser

start_forking_server
sleep 20  # to the server's steady state
echo "forking server up; processes on the machine: $(process_count)"
measure "$seconds"
echo "beside the forking server (50 forks a second): $(describe_share)"
echo "load average at end: $(load_average)"
