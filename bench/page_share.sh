#!/usr/bin/env bash
# The whole application's share of one core on the private desktop with each chart page open in
# turn (Overview, Live Chart, Who's heavy, Trends), the pages chosen by their shortcuts.
#   bench/page_share.sh [seconds per page]     (default 60)
# Run from the source tree after building (VELMORA_BUILD_DIR, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VELMORA_INSIDE_DESKTOP:-}" != 1 ]; then exec ./scripts/with-desktop.sh "$0" "$@"; fi
source bench/share_common.sh

page_seconds=${1:-60}
warmup_seconds=20

start_velmora
sleep "$warmup_seconds"
for page in "Overview ctrl+1" "Live Chart ctrl+3" "Who's heavy ctrl+5" "Trends ctrl+6"; do
  xdotool windowactivate --sync "$window" key --clearmodifiers "${page##* }" 2>/dev/null || true
  sleep 2
  echo "${page% *} open, $page_seconds s: $(share "$page_seconds") % of one core"
done
