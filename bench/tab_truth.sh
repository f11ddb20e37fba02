#!/usr/bin/env bash
# Velmora's footprint of Chromium while a tab is opened and closed every 3 s beside 8 tabs left
# open, judged against the kernel's proportional sums read every 100 ms (bench/cow_truth --window).
# Each new tab is a renderer forked from the zygote that lives about 1.5 s: the app's processes
# change every second and a half, and each fork takes its share of the zygote's pages at once.
# Chromium is started as bench/share_common.sh starts it (8 local pages, the canvas in front), with
# a DevTools port on 127.0.0.1 picked by Chromium itself; after 30 s to settle, one of the local
# pages is opened in a new tab (PUT /json/new), closed 1.5 s later (/json/close), and so on every
# 3 s for as long as the samples last. Prints cow_truth's summary and, from its per-second lines,
# the seconds whose figure is more than 16 MiB from every sum read in the 1.5 s before it (a second
# with no sum read counts as one), each with how long before it a tab was opened and closed, and
# the largest distance of a figure to its nearest sum. Exits non-zero when more than 1 second in
# 100 is so (the mark: within 16 MiB in 99 of 100 s), when cow_truth fails on its own marks, or
# when a tab could not be opened or closed or no tab ever changed the browser's processes: then
# nothing was measured.
#   bench/tab_truth.sh [seconds]     (default 100; VELMORA_BUILD_DIR, default build)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VELMORA_INSIDE_DESKTOP:-}" != 1 ]; then exec ./scripts/with-desktop.sh "$0" "$@"; fi
source bench/share_common.sh

seconds=${1:-100}
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [seconds]"; exit 2; }
settle_seconds=30
limit_mib=16
truth=$build/bench/cow_truth
[ -x "$truth" ] || { echo "$truth is missing (cmake --build $build --target cow_truth)"; exit 1; }
command -v curl >/dev/null || { echo "curl is missing"; exit 1; }
[ -x "$browser" ] || { echo "$browser is missing (scripts/install-deps.sh installs it)"; exit 1; }

churn_pid=""
stop_churn() {
  [ -n "$churn_pid" ] || return 0
  touch "$home/churn.stop"
  wait "$churn_pid" 2>/dev/null || true
  churn_pid=""
}
trap 'stop_churn; stop_browser; cleanup' EXIT

# start_browser takes its flags as they are: the DevTools port is added by a launcher that execs
# the browser, so the pid it starts is still Chromium's own. Port 0 lets Chromium pick a free one
# and write it to DevToolsActivePort, where nothing can take it between the pick and the bind.
launcher=$home/chromium-devtools
printf '#!/bin/sh\nexec %q --remote-debugging-port=0 "$@"\n' "$browser" >"$launcher"
chmod +x "$launcher"
browser=$launcher

write_pages
start_browser
exe=$(readlink "/proc/$browser_pid/exe" 2>/dev/null || true)
case "$exe" in
  */chromium) ;;
  *) echo "pid $browser_pid is not Chromium but ${exe:-gone}"; exit 1 ;;
esac
port=""
for _ in $(seq 100); do
  port=$(head -n 1 "$home/browser/DevToolsActivePort" 2>/dev/null || true)
  [[ "$port" =~ ^[0-9]+$ ]] && break
  port=""
  sleep 0.1
done
[ -n "$port" ] || { echo "Chromium wrote no DevTools port:"; tail -n 20 "$home/browser.log"; exit 1; }
devtools=http://127.0.0.1:$port
curl -s --max-time 5 "$devtools/json/version" | grep -q '"Browser"' ||
  { echo "Chromium's DevTools port $port does not answer:"; tail -n 20 "$home/browser.log"; exit 1; }

sleep "$settle_seconds"  # a browser maps and hands round shared memory busily for its first half minute
echo "browser processes after ${settle_seconds} s: $(pgrep -c -s "$browser_pid" || echo 0); processes on the machine: $(process_count)"
echo "load average at start: $(load_average)"

# Sleeps until $2 tenths of a second after the wall-clock time $1: the requests' own time does
# not add up over the run.
sleep_until() {
  sleep "$(awk -v at="$1" -v o="$2" -v now="$(date +%s.%N)" 'BEGIN { l = at + o / 10 - now; printf "%.3f", (l > 0 ? l : 0) }')"
}
# Opens a tab every 3 s and closes it 1.5 s later, until churn.stop exists; writes "open ID TIME",
# "close ID TIME" (wall clock, once answered) or what went wrong to churn.log.
churn() {
  local start k=0 reply id
  start=$(date +%s.%N)
  while [ ! -e "$home/churn.stop" ]; do
    reply=$(curl -s --max-time 2 -X PUT "$devtools/json/new?file://$pages/page$((k % 7 + 1)).html" || true)
    id=$(sed -n 's/.*"id": *"\([^"]*\)".*/\1/p' <<<"$reply" | head -n 1)
    if [ -n "$id" ]; then echo "open $id $(date +%s.%N)"; else echo "open failed: ${reply:-no reply}"; fi
    sleep_until "$start" "$((30 * k + 15))"
    if [ -n "$id" ]; then
      reply=$(curl -s --max-time 2 "$devtools/json/close/$id" || true)
      if grep -q 'Target is closing' <<<"$reply"; then echo "close $id $(date +%s.%N)"; else echo "close failed: ${reply:-no reply}"; fi
    fi
    k=$((k + 1))
    sleep_until "$start" "$((30 * k))"
  done >"$home/churn.log" 2>&1
}
rm -f "$home/churn.stop"
churn &
churn_pid=$!

truth_status=0
COW_TRUTH_EACH=1 "$truth" --window "$seconds" "$browser_pid" >"$home/truth.log" 2>&1 || truth_status=$?
stop_churn
echo "load average at end: $(load_average)"
kill -0 "$browser_pid" 2>/dev/null || { echo "Chromium exited during the measurement"; exit 1; }

echo "== cow_truth --window $seconds (exit status $truth_status)"
grep -v -E '^second [0-9]+( at|:)' "$home/truth.log" || true

opened=$(grep -c -E '^open [0-9A-Fa-f]+ [0-9.]+$' "$home/churn.log" || true)
closed=$(grep -c -E '^close [0-9A-Fa-f]+ [0-9.]+$' "$home/churn.log" || true)
failed=$(grep -c -v -E '^(open|close) [0-9A-Fa-f]+ [0-9.]+$' "$home/churn.log" || true)
echo "tabs opened and closed: $opened opened, $closed closed, $failed requests failed"
grep -v -E '^(open|close) [0-9A-Fa-f]+ [0-9.]+$' "$home/churn.log" | head -n 5 || true

# From the per-second lines: the distance to the nearest sum read in the 1.5 s before each sample.
read -r counted off unread largest largest_at lowest_count highest_count < <(awk -v limit="$limit_mib" '
  /^second [0-9]+ at / {
    n++
    second = $2
    if (match($0, /: [0-9]+ processes/)) {
      p = substr($0, RSTART + 2, RLENGTH - 12) + 0
      if (lo == "" || p < lo) lo = p
      if (hi == "" || p > hi) hi = p
    }
    if (/no sum read/) { unread++; next }
    if (!match($0, /off [-+][0-9.]+ MiB/)) { unread++; next }
    d = substr($0, RSTART + 4, RLENGTH - 8) + 0
    if (d < 0) d = -d
    if (d > limit) off++
    if (d > largest) { largest = d; at = second }
  }
  END { printf "%d %d %d %.1f %d %d %d\n", n, off, unread, largest, at, lo, hi }' "$home/truth.log")
# Each such second, with how long before it the last tab was opened and closed.
awk -v limit="$limit_mib" -v churn="$home/churn.log" '
  BEGIN {
    while ((getline line < churn) > 0) {
      split(line, f, " ")
      if (f[1] == "open") opened[++o] = f[3] + 0; else if (f[1] == "close") closed[++c] = f[3] + 0
    }
  }
  /^second [0-9]+ at / {
    if (!/no sum read/ && match($0, /off [-+][0-9.]+ MiB/)) {
      d = substr($0, RSTART + 4, RLENGTH - 8) + 0
      if (d <= limit && d >= -limit) next
    }
    at = $4 + 0
    last_open = last_close = ""
    for (i = 1; i <= o; i++) if (opened[i] <= at) last_open = opened[i]
    for (i = 1; i <= c; i++) if (closed[i] <= at) last_close = closed[i]
    printf "  %s\n    (", $0
    if (last_open == "") printf "no tab opened before it"; else printf "%.2f s after a tab was opened", at - last_open
    if (last_close == "") printf ", none closed)\n"; else printf ", %.2f s after one was closed)\n", at - last_close
  }' "$home/truth.log"
stories=$(sed -n 's/.*; \([0-9]*\) stories$/\1/p' "$home/truth.log" | head -n 1)
allowed=$((seconds / 100))
echo "seconds more than $limit_mib MiB from every sum read in the 1.5 s before: $off of $counted" \
  "(and $unread with no sum read); largest distance to the nearest sum $largest MiB at second $largest_at;" \
  "${stories:-?} stories; $lowest_count to $highest_count processes in the app"

status=0
if [ "$counted" -lt "$seconds" ]; then
  echo "FAIL: cow_truth printed $counted of $seconds seconds"
  status=1
fi
if [ $((off + unread)) -gt "$allowed" ]; then
  echo "FAIL: $((off + unread)) seconds not within $limit_mib MiB of a sum, $allowed allowed"
  status=1
fi
if [ "$truth_status" -ne 0 ]; then
  echo "FAIL: cow_truth failed on its own marks (exit status $truth_status)"
  status=1
fi
if [ "$failed" -gt 0 ] || [ "$opened" -lt $((seconds / 3 - 1)) ] || [ "$closed" -lt "$opened" ]; then
  echo "FAIL: the tabs were not opened and closed every 3 s: nothing measured what it says"
  status=1
fi
if [ "$lowest_count" -eq "$highest_count" ]; then
  echo "FAIL: the app's processes never changed: the tabs made no renderers come and go"
  status=1
fi
exit "$status"
