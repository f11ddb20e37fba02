#!/usr/bin/env bash
# Velmora's footprint of a preforking server that replaces its workers, beside the kernel's
# proportional sums read every 100 ms (bench/cow_truth --window). The master holds a 300 MiB model,
# written before it forks 4 workers without exec that accept on its loopback socket; each worker
# serves 40 + 0..20 requests and exits, and the master forks its replacement at once; a client in
# a session of its own asks 20 times a second, and each request writes an 8 MiB buffer that is
# dropped after the answer. Halfway through each run the master is sent SIGHUP: it forks 4 new
# workers and tells the old ones to finish what they serve (SIGTERM).
# A run samples 120 s once the server is steady and prints, for the app holding the master: the
# seconds whose figure is near none of the sums read in the 1.5 s before it (within 2 % or 16 MiB
# of none; at least 95 % must be near one), the longest run of such seconds (never 3), the largest
# distance to the nearest sum (never beyond 48 MiB and 15 %), the seconds below the master's own
# RssAnon (none), the stories the detector told, and the sampling's run time beside top -b -d 1's
# over the same seconds.
#   bench/server_truth.sh [--gunicorn] [quiet|busy|compile|all] [runs]     (default all, 1 run of each)
# --gunicorn runs Debian's gunicorn instead of the stand-in, as nobody: a WSGI module that writes
# the 300 MiB model when imported, preloaded (gunicorn --preload -w 4 --max-requests 40
# --max-requests-jitter 20) and bound to a unix socket in a temp folder only; each request writes
# an 8 MiB buffer and drops it, the same client asking over that socket, SIGHUP at half (gunicorn
# then forks 4 new workers and stops the old ones gracefully). It needs
# scripts/install-deps.sh --servers.
# quiet: nothing else runs; busy: beside 8 shell loops that never sleep; compile: beside two
# g++ -O2 of the project's larger sources at a time, over and over. SERVER_TRUTH_SECONDS changes the
# 120 s (the SIGHUP comes at half). No display is needed. Exits non-zero when a run misses one of
# the marks above. Run from the source tree after building (VELMORA_BUILD_DIR, default build; the
# benchmarks on).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/share_common.sh

real=0
if [ "${1:-}" = --gunicorn ]; then real=1; shift; fi
which=${1:-all}
runs=${2:-1}
seconds=${SERVER_TRUTH_SECONDS:-120}
steady=20  # the first workers replaced, the client's threads up
case "$which" in
  quiet | busy | compile) loads=("$which") ;;
  all) loads=(quiet busy compile) ;;
  *) echo "usage: $0 [--gunicorn] [quiet|busy|compile|all] [runs]"; exit 2 ;;
esac
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [--gunicorn] [quiet|busy|compile|all] [runs]"; exit 2; }
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || { echo "SERVER_TRUTH_SECONDS must be a whole number of seconds"; exit 2; }
truth=$build/bench/cow_truth
[ -x "$truth" ] || { echo "$truth is missing (build with the benchmarks on)"; exit 1; }
gunicorn=/usr/bin/gunicorn
if [ "$real" = 1 ] && [ ! -x "$gunicorn" ]; then
  echo "gunicorn is not installed ($gunicorn is missing; scripts/install-deps.sh --servers installs it)"
  exit 1
fi

server_pid=""
client_pid=""
session_pid=""  # gunicorn's: runuser, whose child is the master
app_dir=""
stop_server() {
  stop_session "$client_pid"
  if [ -n "$session_pid" ]; then
    stop_session "$session_pid"
    # The master ends its workers before it goes.
    for _ in $(seq 100); do kill -0 "$server_pid" 2>/dev/null || break; sleep 0.1; done
  else
    stop_session "$server_pid"
  fi
  [ -z "$app_dir" ] || rm -rf "$app_dir"
  client_pid=""
  server_pid=""
  session_pid=""
  app_dir=""
}
trap 'stop_server; cleanup' EXIT

# The master: the model first, then the workers. SIGHUP reloads, SIGUSR1 prints how many workers
# it forked so far.
master='
import os, random, select, signal, socket, sys

port_file, wanted, max_requests, jitter = sys.argv[1], 4, 40, 20
model = bytearray(b"\x01") * (300 << 20)
listener = socket.create_server(("127.0.0.1", 0), backlog=128)
listener.setblocking(False)

def serve():
    # A sync worker: one request at a time, woken from select by its signals through a pipe.
    alive = True
    def finish(*_):
        nonlocal alive
        alive = False
    wake_r, wake_w = os.pipe()
    os.set_blocking(wake_w, False)
    signal.set_wakeup_fd(wake_w)
    signal.signal(signal.SIGTERM, finish)
    for s in (signal.SIGHUP, signal.SIGUSR1):
        signal.signal(s, signal.SIG_IGN)
    signal.signal(signal.SIGCHLD, signal.SIG_DFL)
    left = max_requests + random.randint(0, jitter)
    while alive and left > 0:
        ready, _, _ = select.select([listener, wake_r], [], [], 1.0)
        if wake_r in ready:
            os.read(wake_r, 64)
        if listener not in ready:
            continue
        try:
            conn, _ = listener.accept()
        except BlockingIOError:  # another worker took it
            continue
        with conn:
            conn.setblocking(True)
            conn.recv(64)
            buffer = bytearray(b"\x02") * (8 << 20)
            conn.sendall(b"ok %d\n" % len(buffer))
            del buffer
        left -= 1
    os._exit(0)

wake_r, wake_w = os.pipe()
os.set_blocking(wake_r, False)
os.set_blocking(wake_w, False)
signal.set_wakeup_fd(wake_w)
pending = []
for s in (signal.SIGCHLD, signal.SIGHUP, signal.SIGUSR1, signal.SIGTERM, signal.SIGINT):
    signal.signal(s, lambda n, _: pending.append(n))
workers = {}  # serving workers by pid: their order of birth
retiring = set()
forked = 0

def spawn():
    global forked
    forked += 1
    pid = os.fork()
    if pid == 0:
        os.close(wake_r)
        os.close(wake_w)
        serve()
    workers[pid] = forked

for _ in range(wanted):
    spawn()
with open(port_file + ".new", "w") as f:
    f.write(str(listener.getsockname()[1]))
os.rename(port_file + ".new", port_file)
while True:
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            break
        if pid == 0:
            break
        workers.pop(pid, None)
        retiring.discard(pid)
    signals, pending[:] = pending[:], []
    if signal.SIGTERM in signals or signal.SIGINT in signals:
        for pid in [*workers, *retiring]:
            os.kill(pid, signal.SIGTERM)
        sys.exit(0)
    if signal.SIGUSR1 in signals:
        print("%d workers forked" % forked, flush=True)
    if signal.SIGHUP in signals:
        # A reload: the new workers first, then the oldest told to finish.
        for _ in range(wanted):
            spawn()
    while len(workers) < wanted:
        spawn()
    for pid in sorted(workers, key=workers.get)[: max(0, len(workers) - wanted)]:
        del workers[pid]
        retiring.add(pid)
        os.kill(pid, signal.SIGTERM)
    select.select([wake_r], [], [], 1.0)
    try:
        os.read(wake_r, 512)
    except BlockingIOError:
        pass'
# The client: a thread a request, at a steady rate.
client='
import socket, sys, threading, time
port, rate = int(open(sys.argv[1]).read()), float(sys.argv[2])
def ask():
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=30) as c:
            c.sendall(b"GET /\n")
            c.recv(64)
    except OSError:
        pass
due = time.monotonic()
while True:
    threading.Thread(target=ask, daemon=True).start()
    due += 1 / rate
    time.sleep(max(0.0, due - time.monotonic()))'

# The same for gunicorn: the model written at import, and a request's buffer dropped once answered.
app='
model = bytearray(b"\x01") * (300 << 20)

def application(environ, start_response):
    buffer = bytearray(b"\x02") * (8 << 20)
    body = b"ok %d\n" % len(buffer)
    del buffer
    start_response("200 OK", [("Content-Type", "text/plain"), ("Content-Length", str(len(body)))])
    return [body]'
# Its client: the same, over the unix socket, in HTTP.
unix_client='
import socket, sys, threading, time
path, rate = sys.argv[1], float(sys.argv[2])
def ask():
    try:
        with socket.socket(socket.AF_UNIX) as c:
            c.settimeout(30)
            c.connect(path)
            c.sendall(b"GET / HTTP/1.0\r\nHost: localhost\r\n\r\n")
            while c.recv(4096):
                pass
    except OSError:
        pass
due = time.monotonic()
while True:
    threading.Thread(target=ask, daemon=True).start()
    due += 1 / rate
    time.sleep(max(0.0, due - time.monotonic()))'

start_gunicorn() {
  app_dir=$(mktemp -d /tmp/velmora-gunicorn.XXXXXX)
  printf '%s\n' "$app" >"$app_dir/model_app.py"
  chown -R nobody "$app_dir"
  setsid runuser -u nobody -- "$gunicorn" --preload -w 4 --max-requests 40 --max-requests-jitter 20 \
    -b "unix:$app_dir/sock" --pid "$app_dir/gunicorn.pid" --chdir "$app_dir" model_app:application \
    >"$home/server.log" 2>&1 &
  session_pid=$!
  for _ in $(seq 300); do [ -S "$app_dir/sock" ] && [ -s "$app_dir/gunicorn.pid" ] && break; sleep 0.1; done
  if [ ! -S "$app_dir/sock" ] || [ ! -s "$app_dir/gunicorn.pid" ]; then
    echo "gunicorn did not start:"
    cat "$home/server.log"
    exit 1
  fi
  server_pid=$(cat "$app_dir/gunicorn.pid")
  # On the socket alone: no port of its own.
  if ss -Hlntup 2>/dev/null | grep -q "pid=$server_pid,"; then
    echo "gunicorn listens on more than its socket:"
    ss -Hlntup | grep "pid=$server_pid,"
    exit 1
  fi
  setsid python3 -c "$unix_client" "$app_dir/sock" 20 >"$home/client.log" 2>&1 &
  client_pid=$!
}
start_server() {
  if [ "$real" = 1 ]; then
    start_gunicorn
    return
  fi
  rm -f "$home/server.port"
  setsid python3 -c "$master" "$home/server.port" >"$home/server.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 300); do [ -s "$home/server.port" ] && break; sleep 0.1; done
  [ -s "$home/server.port" ] || { echo "the server did not start:"; cat "$home/server.log"; exit 1; }
  setsid python3 -c "$client" "$home/server.port" 20 >"$home/client.log" 2>&1 &
  client_pid=$!
}
workers_forked() {
  local before
  if [ "$real" = 1 ]; then
    grep -c "Booting worker with pid" "$home/server.log" || true
    return
  fi
  before=$(grep -c forked "$home/server.log" || true)
  kill -USR1 "$server_pid"
  for _ in $(seq 50); do
    [ "$(grep -c forked "$home/server.log" || true)" -gt "$before" ] && break
    sleep 0.1
  done
  grep forked "$home/server.log" | tail -n 1 | cut -d' ' -f1
}
# Run time of a process so far, from the scheduler, in nanoseconds, over all its threads.
run_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { print s + 0 }'; }

[ "$real" = 0 ] || echo "Debian's gunicorn $("$gunicorn" --version 2>&1 | sed -n 's/.*version \([^)]*\)).*/\1/p'), run as nobody"
status=0
for load in "${loads[@]}"; do
  for run in $(seq "$runs"); do
    case "$load" in
      quiet) echo "== quiet, run $run of $runs" ;;
      busy) echo "== beside 8 busy loops, run $run of $runs"; start_busy_loops 8 ;;
      compile) echo "== beside a compile (two g++ -O2 at a time), run $run of $runs"; start_compile ;;
    esac
    start_server
    sleep "$steady"
    echo "master $server_pid: RssAnon $(awk '/^RssAnon/ { printf "%.1f MiB", $2 / 1024 }' "/proc/$server_pid/status");" \
      "load average $(load_average)"
    top -b -d 1 >/dev/null 2>&1 &
    top_pid=$!
    sleep 1
    forked_before=$(workers_forked)
    top_before=$(run_ns "$top_pid")
    start=$(date +%s.%N)
    "$truth" --window "$seconds" "$server_pid" >"$home/truth.out" 2>&1 &
    bench=$!
    sleep $((seconds / 2))
    kill -HUP "$server_pid"
    truth_status=0
    wait "$bench" || truth_status=$?
    end=$(date +%s.%N)
    top_after=$(run_ns "$top_pid")
    kill "$top_pid" 2>/dev/null || true
    wait "$top_pid" 2>/dev/null || true
    top_pid=""
    forked_after=$(workers_forked)
    cat "$home/truth.out"
    sampling=$(sed -n 's/^sampling run time: .*(\([0-9.]*\) % of a core)$/\1/p' "$home/truth.out")
    echo "workers forked over the run: $((forked_after - forked_before)) (4 of them at the SIGHUP)"
    awk -v n=$((top_after - top_before)) -v s="$start" -v e="$end" -v a="${sampling:-0}" 'BEGIN {
      t = n / 1e7 / (e - s)
      printf "top -b -d 1 over the same seconds: %.3f %% of a core", t
      if (t > 0) printf "; ratio of the sampling to top %.2f", a / t
      printf "\n"
    }'
    if [ "$truth_status" = 0 ]; then
      echo "all marks met"
    else
      echo "MISSED: a mark above (bench/cow_truth exited $truth_status)"
      status=1
    fi
    stop_server
    stop_load
  done
done
exit "$status"
