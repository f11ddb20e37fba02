#!/usr/bin/env bash
# The whole application's share of one core on the private desktop with the Stories page open over
# 500 stored stories (the most the store keeps), against a floor measured in the same run: the
# same application minimised, where only the sampling runs. From steady state on (90 s after
# start), beside top -b -d 1 over the same seconds.
#   bench/stories_share.sh [seconds per phase]     (default 60)
# Run from the source tree after building (VELMORA_BUILD_DIR, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VELMORA_INSIDE_DESKTOP:-}" != 1 ]; then exec ./scripts/with-desktop.sh "$0" "$@"; fi
source bench/share_common.sh

phase_seconds=${1:-60}
stories=500
mkdir -p "$home/data/Velmora"

# 500 stories of the last day, newest first, one every two minutes, about 40 apps, big enough to
# get a row each; every seventh a release, every eleventh a pressure change. Byte counts are
# printed with %.0f: some awks cap %d at 32 bits.
now=$(awk -v t="$(date +%s.%N)" 'BEGIN { printf "%.3f", t - 978307200 }')
awk -v n="$stories" -v now="$now" 'BEGIN {
  printf "["
  for (i = 0; i < n; i++) {
    app = i % 40
    when = now - 60 - i * 120
    delta = (60 + (i * 37) % 900) * 1048576
    kind = "largeDelta"; title = sprintf("App %d used more memory", app); source = "windowList"
    related = sprintf("\"relatedApp\":{\"groupingKey\":\"org.example.App%d\",\"displayName\":\"App %d\",\"pids\":[%d],\"isSelf\":false},", app, app, 40000 + app)
    if (i % 7 == 3) { kind = "memoryReleased"; delta = -delta; title = sprintf("App %d freed memory", app) }
    if (i % 11 == 5) { kind = "pressureChanged"; title = "Memory is tight"; related = ""; source = "systemPressure" }
    pressure = (i % 11 == 5) ? "warning" : "normal"
    printf "%s{\"id\":\"%08X-0000-4000-8000-%012X\",\"timestamp\":%.3f,\"kind\":\"%s\",\"title\":\"%s\",", \
      (i ? "," : ""), i + 1, i + 1, when, kind, title
    printf "\"explanation\":\"You were editing report-%d.odt in App %d\",\"confidence\":\"medium\",%s", i, app, related
    printf "\"baselineFootprintBytes\":%.0f,", 2000 * 1048576
    printf "\"immediate\":{\"deltaBytes\":%.0f,\"duration\":10,\"peakBytes\":%.0f},", delta, 2000 * 1048576 + (delta > 0 ? delta : 0) + 80 * 1048576
    printf "\"settled\":{\"deltaBytes\":%.0f,\"duration\":60,\"endFootprintBytes\":%.0f},", delta, 2000 * 1048576 + delta
    printf "\"systemContext\":{\"pressure\":\"%s\",\"swapUsedBytes\":0,\"compressedBytes\":0,", pressure
    printf "\"availableBytes\":%.0f,\"totalPhysicalBytes\":%.0f,\"timestamp\":%.3f},", 6000 * 1048576, 16 * 1073741824, when
    printf "\"linkedActivityIDs\":[],\"isPendingWindows\":false,\"primarySource\":\"%s\",", source
    printf "\"supportingSources\":[\"memorySampler\",\"significantChange\"]}"
  }
  printf "]\n"
}' >"$home/data/Velmora/stories.json"

start_velmora
if ls "$home/data/Velmora/" | grep -q 'stories.json.bad-'; then
  echo "The seeded stories were set aside as unreadable:"
  cat "$home/log"
  exit 1
fi

echo "load average at start: $(load_average)"
# Stories is the second page (Ctrl+2).
xdotool windowactivate --sync "$window" key --clearmodifiers ctrl+2 2>/dev/null || true
wait_steady
measure "$phase_seconds"
open=$share
echo "Stories open, $stories stories: $(describe_share)"
xdotool windowminimize "$window"
sleep 2
measure "$phase_seconds"
floor=$share
echo "minimised (floor): $(describe_share)"
awk -v o="$open" -v f="$floor" 'BEGIN { if (f > 0) printf "Stories open / floor: %.2f\n", o / f; else print "floor too small to divide" }'
echo "load average at end: $(load_average)"
