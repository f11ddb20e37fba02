# Shared by the *_share.sh benchmarks, sourced from the source tree on the private desktop:
# private folders, the application started in them, and its processor share and memory read from
# /proc. Beside the application runs `top -b -d 1`, which also reads every process once a second:
# each share is printed beside top's over the same seconds. Everything started here ends with the
# script.
build=${VELMORA_BUILD_DIR:-build}
ticks=$(getconf CLK_TCK)
home=$(mktemp -d /tmp/velmora-share.XXXXXX)
pid=""
top_pid=""
window=""
sleepers=()
# Seconds from start to steady state: the application's share rises over its first minute.
steady_seconds=${VELMORA_STEADY_SECONDS:-90}

stop_velmora() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  if [ -n "$top_pid" ]; then kill "$top_pid" 2>/dev/null || true; wait "$top_pid" 2>/dev/null || true; fi
  pid=""
  top_pid=""
}
cleanup() {
  stop_velmora
  stop_session "${load_pid:-}"
  for s in "${sleepers[@]}"; do kill "$s" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$home"
}
trap cleanup EXIT

# Extra processes that only sleep, as on a busy desktop.
add_sleepers() {
  for _ in $(seq "$1"); do
    sleep 100000 &
    sleepers+=("$!")
  done
}

# Starts Velmora in the private folders with the first-run sheet already seen (so nothing but the
# sampling runs) and waits for its main window, and for the widget too when $2 is "widget".
#   start_velmora [more defaults, as JSON members] [widget]
start_velmora() {
  local more=${1:-} wait_for=${2:-} panel=""
  mkdir -p "$home/config/Velmora"
  printf '{"Velmora.FirstRunCompleted":true,"Velmora.StableHintDismissed":true%s}\n' "${more:+,$more}" \
    >"$home/config/Velmora/defaults.json"
  XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" HOME="$home" \
    "$build/velmora" >"$home/log" 2>&1 &
  pid=$!
  top -b -d 1 >/dev/null 2>&1 &
  top_pid=$!
  window=""
  for _ in $(seq 200); do
    window=$(xdotool search --all --onlyvisible --pid "$pid" --name '(^| — )Velmora$' 2>/dev/null | tail -n 1 || true)
    if [ "$wait_for" = widget ]; then
      panel=$(xdotool search --all --onlyvisible --pid "$pid" --name '^Velmora widget$' 2>/dev/null | tail -n 1 || true)
    fi
    [ -n "$window" ] && { [ "$wait_for" != widget ] || [ -n "$panel" ]; } && break
    sleep 0.1
  done
  if [ -z "$window" ] || { [ "$wait_for" = widget ] && [ -z "$panel" ]; }; then
    echo "The main window${wait_for:+ or the $wait_for} did not appear:"
    cat "$home/log"
    exit 1
  fi
}

# utime + stime of the whole process, in clock ticks (the name in parentheses may hold spaces).
# Ticks are samples: a burst that starts and ends between two ticks is never charged, so they
# are printed only beside the scheduler's figure, never instead of it.
cpu_ticks() {
  local rest
  rest=$(sed 's/^.*) //' "/proc/$pid/stat")
  awk '{ print $12 + $13 }' <<<"$rest"
}
field_kib() { awk -v key="$1:" '$1 == key { print $2 }' "/proc/$pid/status"; }
resident_mib() { echo "$(($(field_kib VmRSS) / 1024)) MiB (peak $(($(field_kib VmHWM) / 1024)) MiB)"; }

# Run time from the scheduler, in nanoseconds, of every thread of two processes (the application
# and top), summed from each thread's /proc/PID/task/TID/schedstat. Threads are read again every
# second so that one that starts is counted from zero and one that ends loses at most its last
# second. `run_begin` starts the count, `run_step` adds what ran since the last step.
declare -A run_last=()
run_app_ns=0
run_top_ns=0
run_read() {  # prints "tid ns" for every thread of $1
  local f v
  for f in /proc/"$1"/task/*/schedstat; do
    read -r v _ <"$f" 2>/dev/null || continue
    f=${f%/schedstat}
    echo "$1:${f##*/} $v"
  done
}
run_step() {
  local key v sum_app=0 sum_top=0 last
  while read -r key v; do
    last=${run_last[$key]:-0}
    if [ "${key%%:*}" = "$pid" ]; then sum_app=$((sum_app + v - last)); else sum_top=$((sum_top + v - last)); fi
    run_last[$key]=$v
  done < <(run_read "$pid"; run_read "$top_pid")
  run_app_ns=$((run_app_ns + sum_app))
  run_top_ns=$((run_top_ns + sum_top))
}
run_begin() {
  run_last=()
  run_step
  run_app_ns=0
  run_top_ns=0
}

# Waits until `steady_seconds` have passed since the application started.
wait_steady() {
  local rest ago
  rest=$(sed 's/^.*) //' "/proc/$pid/stat")
  ago=$(awk -v start="$(awk '{ print $20 }' <<<"$rest")" -v hz="$ticks" '{ printf "%d", $1 - start / hz }' /proc/uptime)
  [ "$ago" -ge "$steady_seconds" ] || sleep $((steady_seconds - ago))
}

# Measures `seconds` and sets, in percent of one core: share (the application, scheduler run
# time), share_ticks (the same seconds counted in clock ticks), share_top (top -b -d 1) and
# share_seconds. `measure_add` adds to the running totals instead of starting them again.
share_reset() { total_app_ns=0 total_top_ns=0 total_ticks=0 total_seconds=0; }
measure_add() {
  local seconds=$1 before after start end
  before=$(cpu_ticks)
  start=$(date +%s.%N)
  run_begin
  for _ in $(seq "$seconds"); do
    sleep 1
    run_step
  done
  after=$(cpu_ticks)
  end=$(date +%s.%N)
  total_app_ns=$((total_app_ns + run_app_ns))
  total_top_ns=$((total_top_ns + run_top_ns))
  total_ticks=$((total_ticks + after - before))
  total_seconds=$(awk -v t="$total_seconds" -v s="$start" -v e="$end" 'BEGIN { printf "%.6f", t + e - s }')
  share=$(awk -v n="$total_app_ns" -v s="$total_seconds" 'BEGIN { printf "%.3f", n / 1e7 / s }')
  share_top=$(awk -v n="$total_top_ns" -v s="$total_seconds" 'BEGIN { printf "%.3f", n / 1e7 / s }')
  share_ticks=$(awk -v t="$total_ticks" -v hz="$ticks" -v s="$total_seconds" 'BEGIN { printf "%.3f", 100 * t / hz / s }')
  share_seconds=$(awk -v s="$total_seconds" 'BEGIN { printf "%.0f", s }')
}
measure() { share_reset; measure_add "$1"; }

# The last measurement in words: the scheduler's figure, the tick figure of the same seconds,
# top's figure and the ratio to top.
describe_share() {
  awk -v a="$share" -v k="$share_ticks" -v t="$share_top" -v s="$share_seconds" 'BEGIN {
    printf "%.3f %% of one core over %d s (clock ticks said %.3f %%); top -b -d 1 %.3f %%", a, s, k, t
    if (t > 0) printf ", ratio to top %.2f", a / t
  }'
}

load_average() { cut -d' ' -f1-3 /proc/loadavg; }
process_count() { ls -d /proc/[0-9]* 2>/dev/null | wc -l; }

# Ends a program started with setsid, and everything else in its session.
stop_session() {
  if [ -n "$1" ]; then kill -- "-$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; fi
}

# Chromium with eight local pages in tabs, the one in front animating a canvas; started in a
# session of its own, so that stop_browser ends its helpers and renderers too.
browser=/usr/bin/chromium
browser_pid=""
stop_browser() {
  stop_session "$browser_pid"
  browser_pid=""
}
# Eight pages: one animating a canvas, the others still text, a table and drawings.
write_pages() {
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
}
# Starts Chromium over the pages (write_pages first) and waits until the canvas is in front.
start_browser() {
  [ -x "$browser" ] || { echo "$browser is missing (scripts/install-deps.sh installs it)"; exit 1; }
  # The canvas page is given first, so it is the tab in front.
  local urls=("file://$pages/canvas.html") front="" n
  for n in 1 2 3 4 5 6 7; do urls+=("file://$pages/page$n.html"); done
  setsid "$browser" --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$home/browser" "${urls[@]}" >"$home/browser.log" 2>&1 &
  browser_pid=$!
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
}

# A forking server as Python's socketserver makes one: it holds 100 MiB and forks a child for each
# request, which touches 20 MiB of its own and answers 100 ms later; a client, in a session of its
# own, asks 50 times a second. Both end with stop_forking_server.
server_pid=""
server_client_pid=""
start_forking_server() {
  rm -f "$home/server.port"
  setsid python3 -c '
import socketserver, sys, time
held = bytearray(b"\x01") * (100 << 20)
class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        own = bytearray(b"\x02") * (20 << 20)
        time.sleep(0.1)
        self.request.sendall(b"ok")
class Server(socketserver.ForkingMixIn, socketserver.TCPServer):
    allow_reuse_address = True
    max_children = 400
with Server(("127.0.0.1", 0), Handler) as server:
    with open(sys.argv[1] + ".new", "w") as f:
        f.write(str(server.server_address[1]))
    import os
    os.rename(sys.argv[1] + ".new", sys.argv[1])
    server.serve_forever(poll_interval=0.05)' "$home/server.port" >"$home/server.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 300); do [ -s "$home/server.port" ] && break; sleep 0.1; done
  [ -s "$home/server.port" ] || { echo "the forking server did not start:"; cat "$home/server.log"; exit 1; }
  setsid python3 -c '
import socket, sys, threading, time
port = int(open(sys.argv[1]).read())
def ask():
    try:
        with socket.create_connection(("127.0.0.1", port)) as c:
            c.recv(8)
    except OSError:
        pass
while True:
    threading.Thread(target=ask, daemon=True).start()
    time.sleep(0.02)' "$home/server.port" >/dev/null 2>&1 &
  server_client_pid=$!
}
stop_forking_server() {
  stop_session "$server_client_pid"
  stop_session "$server_pid"
  server_pid=""
  server_client_pid=""
}

# Load beside a measurement, started in a session of its own and ended with stop_load:
# start_busy_loops N starts N shell loops that never sleep; start_compile compiles some of the
# project's larger sources with g++ -O2 into the private folder, two at a time, over and over, as a
# build does (a compiler, an assembler and their files every few seconds). A source that fails to
# compile (mid-edit) is passed over, so the load goes on.
load_pid=""
compile_sources=(engine/stories/TimelineStore.cpp engine/stories/AttributionEngine.cpp engine/sampling/ProcessGrouper.cpp
  engine/stories/Phrasing.cpp engine/detection/SignificantChangeDetector.cpp engine/stories/StoryText.cpp
  engine/activity/BrowserActivityAdapter.cpp)
start_busy_loops() {
  setsid bash -c 'for _ in $(seq "$1"); do sh -c "while :; do :; done" & done; wait' busy-loops "$1" >/dev/null 2>&1 &
  load_pid=$!
}
start_compile() {
  mkdir -p "$home/compile"
  setsid bash -c '
    out=$1; shift
    compile() { while :; do for f in "$@"; do g++ -std=c++20 -O2 -I. -c "$f" -o "$out/${f//\//_}.o" 2>/dev/null || sleep 1; done; done; }
    half=$(( ($# + 1) / 2 ))
    compile "${@:1:$half}" &
    compile "${@:$((half + 1))}" &
    wait' compile "$home/compile" "${compile_sources[@]}" >/dev/null 2>&1 &
  load_pid=$!
}
stop_load() {
  stop_session "$load_pid"
  load_pid=""
}
