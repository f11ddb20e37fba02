#!/usr/bin/env bash
# Velmora's footprint of a Redis server saving in the background (BGSAVE) while a client keeps
# writing, beside the kernel's proportional sums read every 100 ms (bench/cow_truth --window). The
# save is a fork without exec that shares the whole data set with the server; each write the
# server takes copies the page it lands on, so over the save the server and its child come to
# hold the data set twice, and all of it is given back when the child exits.
# Debian's redis-server runs as the redis user (else nobody) on a unix socket in a temp folder,
# listening on nothing else, with no save of its own; redis-benchmark loads 3,000,000 random SETs
# of 400 bytes into it (about 1.9 million keys, 1 GiB). Then each run samples the server while
# redis-benchmark keeps writing such SETs, sends BGSAVE 5 s in, waits for the save to end, and
# samples 10 s more. What is judged is exactly the seconds from the save's start to 10 s after its
# end (bench/cow_truth --span):
#   - at least 95 % of them near a sum read in the 1.5 s before (within 2 % or 16 MiB);
#   - none farther from the nearest than 48 MiB and 15 %;
#   - a save that lasts over 10 s told as a growth story of 0.5 to 1.3 times what the sums rose
#     over it (the highest sum in it less the last read before it);
#   - no story larger than 1.3 times all the sums moved.
# Each run also prints Redis's own count of the pages copied ("Fork CoW for RDB"), the stories
# told, and the sampling's run time beside top -b -d 1's over the same seconds (both from the
# scheduler).
#   bench/redis_truth.sh [short|long|verylong|all] [runs]     (default all, 1 run of each)
# The cases set how long the save lasts with rdb-key-save-delay: short, no delay (about 5 s);
# long, a microsecond slept before one key in 8 (about 30 s); verylong, before one key in 2 (over
# a minute). A case whose save misses that length fails too: it would not measure what it says.
# Needs scripts/install-deps.sh --servers; no display. Exits non-zero when Redis can't be started
# or a run misses a mark. Run from the source tree after building (VELMORA_BUILD_DIR, default
# build; the benchmarks on).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/share_common.sh

which=${1:-all}
runs=${2:-1}
case "$which" in
  short | long | verylong) cases=("$which") ;;
  all) cases=(short long verylong) ;;
  *) echo "usage: $0 [short|long|verylong|all] [runs]"; exit 2 ;;
esac
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [short|long|verylong|all] [runs]"; exit 2; }
truth=$build/bench/cow_truth
[ -x "$truth" ] || { echo "$truth is missing (build with the benchmarks on)"; exit 1; }
for tool in redis-server redis-cli redis-benchmark; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh --servers installs it)"; exit 1; }
done
keys=3000000
value_bytes=400
lead=5          # seconds sampled before the save
after=10        # and after it
save_limit=900  # a save still running then has hung

redis_dir=""
redis_session=""
redis_pid=""
writer_pid=""
sock=""
cli() { redis-cli -s "$sock" "$@"; }
stop_writer() {
  stop_session "$writer_pid"
  writer_pid=""
}
stop_redis() {
  stop_writer
  if [ -n "$redis_pid" ]; then
    cli shutdown nosave >/dev/null 2>&1 || true
    for _ in $(seq 100); do kill -0 "$redis_pid" 2>/dev/null || break; sleep 0.1; done
  fi
  stop_session "$redis_session"
  redis_session=""
  redis_pid=""
  [ -z "$redis_dir" ] || rm -rf "$redis_dir"
  redis_dir=""
}
trap 'stop_redis; cleanup' EXIT

# Redis will not be run as root here: the redis user Debian's package makes, else nobody.
user=redis
id -u redis >/dev/null 2>&1 || user=nobody
start_redis() {
  redis_dir=$(mktemp -d /tmp/velmora-redis.XXXXXX)
  sock=$redis_dir/redis.sock
  chown "$user" "$redis_dir"
  # --loglevel verbose: the save's child logs the pages it counts copied every two seconds.
  setsid runuser -u "$user" -- redis-server --port 0 --unixsocket "$sock" --dir "$redis_dir" --save '' \
    --appendonly no --loglevel verbose --logfile "$redis_dir/redis.log" --pidfile "$redis_dir/redis.pid" \
    >"$home/redis.out" 2>&1 &
  redis_session=$!
  for _ in $(seq 100); do [ "$(cli ping 2>/dev/null)" = PONG ] && [ -s "$redis_dir/redis.pid" ] && break; sleep 0.1; done
  if [ "$(cli ping 2>/dev/null)" != PONG ] || [ ! -s "$redis_dir/redis.pid" ]; then
    echo "Redis did not start:"
    cat "$home/redis.out" "$redis_dir/redis.log" 2>/dev/null || true
    exit 1
  fi
  redis_pid=$(cat "$redis_dir/redis.pid")
  # On the socket alone: no port of its own.
  if ss -Hlntup 2>/dev/null | grep -q "pid=$redis_pid,"; then
    echo "Redis listens on more than its socket:"
    ss -Hlntup | grep "pid=$redis_pid,"
    exit 1
  fi
  echo "Redis $(redis-server --version | sed -n 's/.* v=\([^ ]*\).*/\1/p'), pid $redis_pid, user $user, socket $sock"
  redis-benchmark -s "$sock" -t set -r "$keys" -d "$value_bytes" -n "$keys" -P 16 -q >"$home/load.out" 2>&1 ||
    { echo "loading Redis failed:"; tail -c 2000 "$home/load.out"; exit 1; }
  echo "loaded: $(cli dbsize) keys of $value_bytes bytes, $(cli info memory | tr -d '\r' |
    sed -n 's/^used_memory_human://p') used, server RssAnon $(awk '/^RssAnon/ { printf "%.1f MiB", $2 / 1024 }' \
    "/proc/$redis_pid/status")"
}

# Run time of a process so far, from the scheduler, in nanoseconds, over all its threads.
run_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { print s + 0 }'; }
persistence() { cli info persistence | tr -d '\r' | sed -n "s/^$1://p"; }
now() { date +%s.%N; }

# Sets rdb-key-save-delay for case $1 and the seconds its save is meant to last (aim_low, aim_high).
configure() {
  case "$1" in
    short) delay=0 aim_low=0 aim_high=10 ;;
    long) delay=-8 aim_low=20 aim_high=45 ;;
    verylong) delay=-2 aim_low=60 aim_high=$save_limit ;;
  esac
  [ "$(cli config set rdb-key-save-delay "$delay")" = OK ] || { echo "Redis refused rdb-key-save-delay $delay"; exit 1; }
}

start_redis
status=0
for kind in "${cases[@]}"; do
  for run in $(seq "$runs"); do
    configure "$kind"
    echo "== $kind save (rdb-key-save-delay $delay), run $run of $runs; load average $(load_average)"
    span=$home/span
    rm -f "$span" "$span.new" "$redis_dir"/*.rdb
    top -b -d 1 >/dev/null 2>&1 &
    top_pid=$!
    sleep 1
    top_before=$(run_ns "$top_pid")
    start=$(now)
    COW_TRUTH_EACH=1 "$truth" --window --span "$span" --stop "$span" $((lead + save_limit + after + 30)) "$redis_pid" \
      >"$home/truth.out" 2>&1 &
    bench=$!
    sleep $((lead - 2))
    # The writer: 50 clients at full speed, bounded in count, far more than any save lasts.
    setsid redis-benchmark -s "$sock" -t set -r "$keys" -d "$value_bytes" -n 2000000000 -q >/dev/null 2>&1 &
    writer_pid=$!
    sleep 2
    log_lines=$(wc -l <"$redis_dir/redis.log")
    save_start=$(now)
    reply=$(cli bgsave)
    [ "$reply" = "Background saving started" ] || { echo "BGSAVE: $reply"; exit 1; }
    save_end=""
    while :; do
      [ "$(persistence rdb_bgsave_in_progress)" = 0 ] && { save_end=$(now); break; }
      awk -v s="$save_start" -v n="$(now)" -v l="$save_limit" 'BEGIN { exit !(n - s > l) }' && break
      sleep 0.1
    done
    [ -n "$save_end" ] || { echo "the save still runs after $save_limit s"; exit 1; }
    kill -0 "$writer_pid" 2>/dev/null || { echo "the writer stopped before the save ended"; exit 1; }
    [ "$(persistence rdb_last_bgsave_status)" = ok ] || { echo "the save failed:"; tail -n 20 "$redis_dir/redis.log"; exit 1; }
    sleep "$after"
    awk -v s="$save_start" -v e="$save_end" -v a="$after" 'BEGIN { printf "%.3f %.3f\n", s, e + a }' >"$span.new"
    mv "$span.new" "$span"
    truth_status=0
    wait "$bench" || truth_status=$?
    end=$(now)
    top_after=$(run_ns "$top_pid")
    stop_writer
    kill "$top_pid" 2>/dev/null || true
    wait "$top_pid" 2>/dev/null || true
    top_pid=""

    # Each second of the span, from the save's start on.
    awk -v s="$save_start" -v e="$(awk '{ print $2 }' "$span")" '
      /^second [0-9]+ at / {
        t = $4 + 0
        if (t < s || t > e) next
        line = $0; sub(/^second [0-9]+ at [0-9.]+: /, "", line)
        printf "  %5.1f s: %s\n", t - s, line
      }' "$home/truth.out"
    # The seconds near none are in the lines above already.
    grep -v -e '^second ' -e '^  second [0-9]*: figure' "$home/truth.out"
    echo "Redis's count of the pages the save copied: $(tail -n +$((log_lines + 1)) "$redis_dir/redis.log" |
      grep 'Fork CoW for RDB' | tail -n 1 | sed 's/^.*Fork CoW/Fork CoW/' || true)" \
      "(rdb_last_cow_size $(persistence rdb_last_cow_size | awk '{ printf "%.1f MiB", $1 / 1048576 }'))"
    sampling=$(sed -n 's/^sampling run time: .*(\([0-9.]*\) % of a core)$/\1/p' "$home/truth.out")
    window_line=$(grep "^  window, each second" "$home/truth.out" || true)
    span_line=$(grep "^  span [0-9]" "$home/truth.out" || true)
    if [ -z "$window_line" ] || [ -z "$span_line" ]; then
      echo "bench/cow_truth printed no judgement (exit $truth_status)"
      status=1
      continue
    fi
    # From cow_truth's lines: seconds near none and judged, the largest distance and its percent,
    # the seconds beyond 48 MiB and 15 %; the sums' rise and all they moved, the stories in the
    # span, the largest growth and the largest change.
    read -r near_none judged largest largest_percent beyond < <(sed -E \
      's/.*: ([0-9]+) of ([0-9]+) seconds near none.*nearest sum ([0-9.]+) MiB \(([0-9.]+) %\).*, ([0-9]+) seconds beyond.*/\1 \2 \3 \4 \5/' \
      <<<"$window_line")
    read -r rise moved story_count growth change < <(sed -E \
      's/.*\(a rise of ([-0-9.]+) MiB\).*\(the sums moved ([-0-9.]+) MiB\); ([0-9]+) stories in it, the largest growth ([-+0-9.]+) MiB, the largest change ([-0-9.]+) MiB.*/\1 \2 \3 \4 \5/' \
      <<<"$span_line")
    stories=$(grep '^  a story at second' "$home/truth.out" | sed 's/.*: //' | paste -sd, - | sed 's/,/, /g')
    awk -v n=$((top_after - top_before)) -v s="$start" -v e="$end" \
      -v a="${sampling:-0}" -v b="$save_start" -v f="$save_end" -v nn="$near_none" -v j="$judged" \
      -v d="$largest" -v p="$largest_percent" -v r="$rise" -v m="$moved" -v st="${stories:-none}" 'BEGIN {
      t = n / 1e7 / (e - s)
      printf "the save lasted %.1f s; from its start to %d s after its end %d of %d seconds near none of the sums " \
        "(%.1f %% near one), the largest distance %.1f MiB (%.1f %%); stories told: %s, beside a rise of the sums of " \
        "%.1f MiB over the save (all they moved: %.1f MiB)\n", f - b, '"$after"', nn, j, j ? 100 * (j - nn) / j : 0, d, p, st, r, m
      printf "sampling %.3f %% of a core; top -b -d 1 over the same seconds %.3f %%", a, t
      if (t > 0) printf "; ratio of the sampling to top %.2f", a / t
      printf "\n"
    }'
    echo "bench/cow_truth's own rules (also never 3 seconds in a row near none, never below the server's" \
      "own RssAnon): $([ "$truth_status" = 0 ] && echo met || echo "missed (exit $truth_status)")"
    # The marks.
    missed=$(awk -v nn="$near_none" -v j="$judged" -v b="$beyond" -v r="$rise" -v m="$moved" -v g="$growth" \
      -v c="$change" -v lasted="$(awk -v s="$save_start" -v e="$save_end" 'BEGIN { print e - s }')" \
      -v lo="$aim_low" -v hi="$aim_high" 'BEGIN {
      if (j == 0) print "no second judged"
      else if (100 * (j - nn) < 95 * j) printf "%d of %d seconds near none of the sums (over 5 %%)\n", nn, j
      if (b > 0) printf "%d seconds off by more than 48 MiB and 15 %%\n", b
      if (lasted > 10 && !(g >= 0.5 * r && g <= 1.3 * r))
        printf "a save of %.1f s told as a growth of %+.1f MiB, not 0.5 to 1.3 times the sums rise of %.1f MiB\n", lasted, g, r
      if (c > 1.3 * m) printf "a story of %.1f MiB, over 1.3 times the %.1f MiB the sums moved\n", c, m
      if (lasted < lo || lasted > hi) printf "the save lasted %.1f s, not the %d to %d s this case is for\n", lasted, lo, hi
    }')
    if [ -n "$missed" ]; then
      echo "MISSED: ${missed//$'\n'/; }"
      status=1
    else
      echo "all marks met"
    fi
    rm -f "$redis_dir"/*.rdb
  done
done
exit "$status"
