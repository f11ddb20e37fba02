#!/usr/bin/env bash
# Builds everything and runs every test on a private desktop (Xvfb, openbox, D-Bus and the
# accessibility bus): a normal build, then the tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the extra checks in scripts/checks/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Every package that configure step used must come from install-deps.sh, not from this machine.
./scripts/check-packages.sh
cmake --build build -j "$jobs"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON -DVELMORA_BENCH=OFF
cmake --build build-asan -j "$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
./scripts/with-desktop.sh bash -c '
  set -euo pipefail
  ctest --test-dir build --output-on-failure -j "$1"
  ctest --test-dir build-asan --output-on-failure -j "$1"
  for check in scripts/checks/*.sh; do
    [ -e "$check" ] || continue
    echo "== $check"
    bash "$check"
  done
' checks "$jobs"
echo "All tests passed."
