#!/usr/bin/env bash
# The whole application's share of one core on the private desktop, main window minimised, from
# steady state on (90 s after start), beside a database server's processes (bench/db_server.c): a
# postmaster holding 30 MiB of its own and, mapped before it forks, shared anonymous memory: 16 MiB
# of shared structures it writes and 256 MiB of shared buffers; a 150 MiB table prewarmed into
# them, 4 auxiliary children that live on, use a few MiB of the structures and read a few MiB of
# the buffers now and then, and 10 connections a second, each a backend forked without exec that
# uses half of the structures, reads the whole table through the buffers (158 MiB of shared memory
# mapped) and exits 100 ms after its fork. First beside the server, then beside the server and a
# compile (two g++ -O2 of the project's larger sources at a time, over and over), each beside
# top -b -d 1 over the same seconds (the aim: at most top's share, half of it better).
# Then, the application ended, the server's figure from bench/cow_truth --window while backends
# come, after 20 s unjudged (--warm: the application had been watching the server, and its
# detector had learned how far the backends swing it), the backends stopped 20 s into the judged
# seconds (100 s with --postgres): for each of the 15 s after the stop, whether the figure is
# within 2 % or 16 MiB of the proportional sum read right after it, and the first second from
# which all are (the aim: 8 s at most). Over the churn before the stop, the mean figure beside the
# mean of the sums read every 100 ms, and the seconds whose figure is near none of the sums read
# in the 1.5 s before it (within 2 % or 16 MiB of none): a figure that leaves the backends out now
# and then is near a sum in most seconds, yet low on the mean.
# --postgres does the same beside PostgreSQL 15 where it is installed (/usr/lib/postgresql/15):
# a cluster made in a temp folder (run as the postgres user, else nobody, when run as root), its
# socket there and no address listened on, shared_buffers 256MB, a table of about 150 MB read into
# them with pg_prewarm, and pgbench -C -R 10 running select count(*) from t on a new connection
# each time, 10 a second, each backend reading the whole table itself (max_parallel_workers_per_gather
# 0: its scan lasts a few tenths of a second, a backend is alive most of the time and the family's
# sum swings between 20 and 190 MiB); the churn stops with pgbench. With --parallel, the server plans
# as it would by default: the backend and two parallel workers, forks of the postmaster seen together,
# each read a part of the table within a tenth of a second, and the sum is at its floor most seconds. Its marks, which make the script exit non-zero: over the churn, the mean figure
# within 15 % of the mean sum and at most 10 % of the seconds near none of the sums, and no story
# told over the judged seconds. It needs
# Debian's PostgreSQL 15 (scripts/install-deps.sh --servers) and says so when it is missing.
#   bench/db_share.sh [--postgres [--parallel]] [seconds]     (default 60, for each of the two shares)
# Run from the source tree after building (VELMORA_BUILD_DIR, default build; the benchmarks on).
# bench/browser_share.sh and bench/fd_limit_share.sh measure the other costs a change of the
# sampling must keep.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${VELMORA_INSIDE_DESKTOP:-}" != 1 ]; then exec ./scripts/with-desktop.sh "$0" "$@"; fi
source bench/share_common.sh

real=0
parallel=0
if [ "${1:-}" = --postgres ]; then real=1; shift; fi
if [ "$real" = 1 ] && [ "${1:-}" = --parallel ]; then parallel=2; shift; fi
seconds=${1:-60}
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [--postgres [--parallel]] [seconds]"; exit 2; }
truth=$build/bench/cow_truth
[ -x "$truth" ] || { echo "$truth is missing (build with the benchmarks on)"; exit 1; }
# PostgreSQL's backends come at random (pgbench -R): a second's figure catches one or not, so the
# mean of 20 figures is a mean of few draws. Its churn lasts 100 s, as the case it is measured for.
churn_seconds=${DB_SHARE_CHURN_SECONDS:-$([ "$real" = 1 ] && echo 100 || echo 20)}
after_seconds=15
warm_seconds=20

db_pid=""
churn_pid=""
pg_bin=/usr/lib/postgresql/15/bin
pg_dir=""
pg_user=""
# PostgreSQL will not run as root.
as_pg() { if [ -n "$pg_user" ]; then runuser -u "$pg_user" -- "$@"; else "$@"; fi; }
pg_sql() { "$pg_bin/psql" -h "$pg_dir" -U postgres -d postgres -qAt "$@"; }
stop_db() {
  stop_session "$churn_pid"
  churn_pid=""
  if [ -n "$pg_dir" ]; then
    as_pg "$pg_bin/pg_ctl" -D "$pg_dir/data" -m fast -w stop >/dev/null 2>&1 || true
    rm -rf "$pg_dir"
    pg_dir=""
  else
    stop_session "$db_pid"
  fi
  db_pid=""
}
trap 'stop_db; cleanup' EXIT

start_stand_in() {
  cc -O2 -o "$home/postgres" bench/db_server.c
  setsid "$home/postgres" 256 150 30 10 >"$home/db.log" 2>&1 &
  db_pid=$!
  for _ in $(seq 300); do grep -q ready "$home/db.log" && break; sleep 0.1; done
  grep -q ready "$home/db.log" || { echo "the database server did not start:"; cat "$home/db.log"; exit 1; }
}
start_postgres() {
  local tool
  for tool in postgres initdb pg_ctl psql pgbench; do
    [ -x "$pg_bin/$tool" ] ||
      { echo "Debian's PostgreSQL 15 is not installed ($pg_bin/$tool is missing; scripts/install-deps.sh --servers installs it)"; exit 1; }
  done
  [ -f /usr/lib/postgresql/15/lib/pg_prewarm.so ] ||
    { echo "PostgreSQL 15's pg_prewarm is missing (scripts/install-deps.sh --servers installs it)"; exit 1; }
  pg_dir=$(mktemp -d /tmp/velmora-pg.XXXXXX)
  if [ "$(id -u)" = 0 ]; then
    pg_user=postgres
    id -u postgres >/dev/null 2>&1 || pg_user=nobody
    chown "$pg_user" "$pg_dir"
  fi
  as_pg "$pg_bin/initdb" -D "$pg_dir/data" -A trust -U postgres --no-sync >"$home/initdb.log" 2>&1 ||
    { echo "initdb failed:"; cat "$home/initdb.log"; exit 1; }
  as_pg "$pg_bin/pg_ctl" -D "$pg_dir/data" -l "$pg_dir/server.log" -w \
    -o "-c listen_addresses='' -c unix_socket_directories='$pg_dir' -c shared_buffers=256MB -c max_parallel_workers_per_gather=$parallel" start >/dev/null ||
    { echo "PostgreSQL did not start:"; cat "$pg_dir/server.log"; exit 1; }
  db_pid=$(head -n 1 "$pg_dir/data/postmaster.pid")
  pg_sql -c "create table t as select g as id, repeat('x', 100) as pad from generate_series(1, 1100000) g" \
    -c "create extension pg_prewarm" -c "select pg_prewarm('t')" >/dev/null
  echo "PostgreSQL $(pg_sql -c 'show server_version'), postmaster $db_pid: table t $(pg_sql -c \
    "select pg_size_pretty(pg_relation_size('t'))"), shared_buffers $(pg_sql -c 'show shared_buffers'), \
    parallel workers per query $(pg_sql -c 'show max_parallel_workers_per_gather')"
  # One client, a new connection for each query, 10 a second: the backends come and go, no
  # client process does.
  echo 'select count(*) from t;' >"$home/count.sql"
  setsid "$pg_bin/pgbench" -n -C -R 10 -T 1000000 -f "$home/count.sql" -h "$pg_dir" -U postgres postgres \
    >"$home/pgbench.log" 2>&1 &
  churn_pid=$!
}
stop_churn() {
  if [ "$real" = 1 ]; then
    stop_session "$churn_pid"
    churn_pid=""
  else
    kill -USR1 "$db_pid"
  fi
}
connections() { pg_sql -c "select sessions from pg_stat_database where datname = 'postgres'"; }

if [ "$real" = 1 ]; then start_postgres; else start_stand_in; fi
start_velmora
xdotool windowminimize "$window"
echo "processes on the machine: $(process_count)"
echo "load average at start: $(load_average)"
wait_steady
measure "$seconds"
echo "beside the database server (10 connections a second): $(describe_share)"

start_compile
sleep 5
measure "$seconds"
echo "beside the database server and a compile: $(describe_share)"
echo "load average at end: $(load_average)"
stop_load
stop_velmora

echo "-- the server's figure, its backends stopped $churn_seconds s in"
# Only the churn's seconds are counted in cow_truth's summary (--span): from its start to the stop.
churn_span=$home/churn.span
COW_TRUTH_EACH=1 "$truth" --window --span "$churn_span" --warm "$warm_seconds" \
  $((churn_seconds + after_seconds + 2)) "$db_pid" >"$home/truth.out" 2>&1 &
bench=$!
sleep "$warm_seconds"
truth_start=$(date +%s.%N)
# Which of the server's processes live on beside the backends (a checkpoint or a vacuum maps the table too).
echo "the server's children at the start of the judged seconds: $(ps --ppid "$db_pid" -o args= | sed 's/ *$//' | sort | uniq -c |
  awk '{ n = $1; $1 = ""; printf "%s%s ×%d", sep, substr($0, 2), n; sep = "; " }')"

sleep "$churn_seconds"
stop_churn
stopped=$(date +%s.%N)
echo "$truth_start $stopped" >"$churn_span"
wait "$bench" || true
echo "over the churn (${churn_seconds} s, until the stop):"
grep -v '^second ' "$home/truth.out"
status=0
window_line=$(grep '^  window, each second' "$home/truth.out" || true)
mean_line=$(grep '^  mean figure' "$home/truth.out" || true)
if [ -z "$window_line" ] || [ -z "$mean_line" ]; then
  echo "bench/cow_truth judged nothing over the churn"
  status=1
else
  # "N of M seconds near none ..." and "mean figure F MiB ..., mean of the K sums ... S MiB: ..."
  read -r near_none judged < <(sed -E 's/.*: ([0-9]+) of ([0-9]+) seconds near none.*/\1 \2/' <<<"$window_line")
  read -r mean_figure mean_sum < <(sed -E 's/.*mean figure ([0-9.]+) MiB.* sums read every 100 ms ([0-9.]+) MiB.*/\1 \2/' <<<"$mean_line")
  verdict=$(awk -v f="$mean_figure" -v s="$mean_sum" -v n="$near_none" -v j="$judged" -v marked="$real" 'BEGIN {
    off = s > 0 ? 100 * (f - s) / s : 0
    share = j > 0 ? 100 * n / j : 100
    printf "churn: mean figure %.1f MiB beside the mean sum %.1f MiB (%+.1f %%); %d of %d seconds (%.1f %%) near none of " \
      "the sums read in the 1.5 s before\n", f, s, off, n, j, share
    if (!marked) exit 0
    if (j == 0) { print "MISSED: no second of the churn judged"; exit 1 }
    missed = ""
    if (off > 15 || off < -15) missed = missed sprintf("; the mean figure %+.1f %% off the mean sum (over 15 %%)", off)
    if (share > 10) missed = missed sprintf("; %.1f %% of the seconds near none of the sums (over 10 %%)", share)
    if (missed != "") { print "MISSED: " substr(missed, 3); exit 1 }
    print "churn marks met"
  }') || status=1
  echo "$verdict"
fi
# Stories over the judged seconds (the churn and the seconds after it): a server whose backends come and go
# has nothing to tell.
stories=$(sed -nE 's/^  every second sampled, .*: ([0-9]+) stories$/\1/p' "$home/truth.out" | head -n 1)
if [ "$real" = 1 ] && [ "${stories:-0}" != 0 ]; then
  echo "MISSED: $stories stories told of the server"
  status=1
fi
if [ "$real" = 1 ]; then echo "connections since the server started: $(connections)"; else tail -n 1 "$home/db.log"; fi
# The same seconds, each figure against the sum read right after it: the figure's own error, without
# the chance of which seconds caught a backend.
awk -v start="$truth_start" -v stop="$stopped" '
  /^second / {
    t = $4 + 0
    if (t < start || t > stop) next
    figure = $0; sub(/.*figure /, "", figure); sub(/ MiB.*/, "", figure)
    sum = $0; sub(/.*sum after /, "", sum); sub(/ MiB.*/, "", sum)
    n++; f += figure; s += sum
  }
  END {
    if (n > 0 && s > 0)
      printf "churn, each figure against the sum read right after it: mean figure %.1f MiB, mean sum %.1f MiB (%+.1f %%) over %d seconds\n", f / n, s / n, 100 * (f - s) / s, n
  }' "$home/truth.out"
# Each second after the stop: "second N at TIME: ..., figure F MiB, sum after S MiB (within|OUTSIDE); ..."
awk -v stop="$stopped" -v n="$after_seconds" '
  /^second / {
    t = $4 + 0
    if (t <= stop || shown == n) next
    shown++
    figure = $0; sub(/.*figure /, "", figure); sub(/ MiB.*/, "", figure)
    sum = $0; sub(/.*sum after /, "", sum); sub(/ MiB.*/, "", sum)
    right = index($0, "(within)") > 0
    printf "%2d: %.1f s after the stop, figure %s MiB, sum %s MiB, %s\n", shown, t - stop, figure, sum, right ? "within" : "OUTSIDE"
    if (!right) last_off = shown
  }
  END {
    if (shown < n) printf "only %d seconds sampled after the stop\n", shown
    else if (last_off == n) printf "the figure is not yet right %d s after the stop\n", n
    else printf "right from second %d after the stop on\n", last_off + 1
  }' "$home/truth.out"
exit "$status"
