#!/usr/bin/env bash
# The whole application's share of one core on the private desktop, main window minimised, from
# steady state on (90 s after start): first with no browser, then beside Chromium with 8 local
# pages open in tabs, the one in front animating a canvas. Both in the same run, from the same
# running application, each beside top -b -d 1 over the same seconds.
#   bench/browser_share.sh [seconds]     (default 60, for each of the two)
# Run from the source tree after building (VELMORA_BUILD_DIR, default build).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VELMORA_INSIDE_DESKTOP:-}" != 1 ]; then exec ./scripts/with-desktop.sh "$0" "$@"; fi
source bench/share_common.sh

seconds=${1:-60}
browser_warmup_seconds=45
browser=/usr/bin/chromium
[ -x "$browser" ] || { echo "$browser is missing (scripts/install-deps.sh installs it)"; exit 1; }

browser_pid=""
stop_browser() {
  # Started in a session of its own: the whole group goes, helpers and renderers too.
  if [ -n "$browser_pid" ]; then kill -- "-$browser_pid" 2>/dev/null || true; wait "$browser_pid" 2>/dev/null || true; fi
  browser_pid=""
}
trap 'stop_browser; cleanup' EXIT

# Eight pages: one animating a canvas, the others still text, a table and drawings.
pages="$home/pages"
mkdir -p "$pages"
cat >"$pages/canvas.html" <<'EOF'
<!doctype html><title>Animated canvas</title>
<canvas id="c" width="800" height="500"></canvas>
<script>
const c = document.getElementById("c").getContext("2d");
function frame(t) {
  c.fillStyle = "#fff"; c.fillRect(0, 0, 800, 500);
  for (let i = 0; i < 40; i++) {
    c.fillStyle = `hsl(${(t / 10 + i * 9) % 360}, 70%, 50%)`;
    c.beginPath(); c.arc(400 + 300 * Math.cos(t / 900 + i), 250 + 200 * Math.sin(t / 700 + i), 20, 0, 7); c.fill();
  }
  requestAnimationFrame(frame);
}
requestAnimationFrame(frame);
</script>
EOF
for n in 1 2 3 4 5 6 7; do
  {
    echo "<!doctype html><title>Page $n</title><h1>Page $n</h1>"
    for row in $(seq 200); do echo "<p>Row $row of page $n: some text to lay out, <b>bold</b> and <i>italic</i>.</p>"; done
    echo "<svg width='600' height='300'>"
    for i in $(seq 50); do echo "<rect x='$((i * 11))' y='$((i * 5))' width='40' height='40' fill='hsl($((i * 7)),60%,50%)'/>"; done
    echo "</svg>"
  } >"$pages/page$n.html"
done

start_velmora
xdotool windowminimize "$window"
echo "processes on the machine: $(process_count)"
echo "load average at start: $(load_average)"
wait_steady
measure "$seconds"
alone=$share
echo "no browser, main window minimised: $(describe_share)"

# The canvas page is given first, so it is the tab in front.
urls=("file://$pages/canvas.html")
for n in 1 2 3 4 5 6 7; do urls+=("file://$pages/page$n.html"); done
setsid "$browser" --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
  --disable-component-update --disable-sync --user-data-dir="$home/browser" "${urls[@]}" >"$home/browser.log" 2>&1 &
browser_pid=$!
front=""
for _ in $(seq 300); do
  front=$(xdotool search --onlyvisible --name 'Animated canvas' 2>/dev/null | head -n 1 || true)
  [ -n "$front" ] && break
  sleep 0.1
done
if [ -z "$front" ]; then
  echo "Chromium did not show the canvas page in front:"
  tail -n 20 "$home/browser.log"
  exit 1
fi
# A browser maps and hands round shared memory busily for its first half minute or so.
sleep "$browser_warmup_seconds"
echo "browser processes: $(pgrep -c -s "$browser_pid" || echo 0); processes on the machine: $(process_count)"
measure "$seconds"
beside=$share
kill -0 "$browser_pid" 2>/dev/null || { echo "Chromium exited during the measurement"; exit 1; }
echo "beside Chromium (8 tabs, the canvas in front): $(describe_share)"
awk -v b="$beside" -v a="$alone" 'BEGIN { if (a > 0) printf "ratio to no browser: %.2f\n", b / a }'
echo "load average at end: $(load_average)"
