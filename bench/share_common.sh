# Shared by the *_share.sh benchmarks, sourced from the source tree on the private desktop:
# private folders, the application started in them, and its processor share and memory read from
# /proc. Everything started here ends with the script.
build=${VELMORA_BUILD_DIR:-build}
ticks=$(getconf CLK_TCK)
home=$(mktemp -d /tmp/velmora-share.XXXXXX)
pid=""
window=""
sleepers=()

stop_velmora() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  pid=""
}
cleanup() {
  stop_velmora
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
cpu_ticks() {
  local rest
  rest=$(sed 's/^.*) //' "/proc/$pid/stat")
  awk '{ print $12 + $13 }' <<<"$rest"
}
field_kib() { awk -v key="$1:" '$1 == key { print $2 }' "/proc/$pid/status"; }
resident_mib() { echo "$(($(field_kib VmRSS) / 1024)) MiB (peak $(($(field_kib VmHWM) / 1024)) MiB)"; }

# Share of one core over `seconds`, in percent, printed on its own.
share() {
  local seconds=$1 before after start end
  before=$(cpu_ticks)
  start=$(date +%s.%N)
  sleep "$seconds"
  after=$(cpu_ticks)
  end=$(date +%s.%N)
  awk -v t="$((after - before))" -v hz="$ticks" -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", 100 * t / hz / (e - s) }'
}

load_average() { cut -d' ' -f1-3 /proc/loadavg; }
process_count() { ls -d /proc/[0-9]* 2>/dev/null | wc -l; }
