#!/usr/bin/env bash
# Fuzzes the bridge's request handling and tab-report decoding for about a minute under
# AddressSanitizer and UndefinedBehaviorSanitizer; any crash fails the check. FUZZ_SECONDS
# and FUZZ_BUILD change the run's length and its build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${FUZZ_BUILD:-build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"

CC=clang-14 CXX=clang++-14 cmake -S fuzz -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(( $(nproc) < 4 ? $(nproc) : 4 ))" >/dev/null

# New inputs go to a scratch folder; the seeds in fuzz/corpus stay as committed.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
"$build/bridge_request_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -max_len=300000 -dict=fuzz/bridge.dict -artifact_prefix="$build/" -print_final_stats=1 \
  "$scratch" fuzz/corpus 2>"$build/fuzz.log" || { tail -n 60 "$build/fuzz.log" >&2; exit 1; }
grep -E '^stat::number_of_executed_units' "$build/fuzz.log" || true
echo "fuzz: no crash in ${seconds} s"
