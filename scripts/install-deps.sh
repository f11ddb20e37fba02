#!/usr/bin/env bash
# Installs every Debian 12 package the build and the tests need. Safe to run again.
#   scripts/install-deps.sh [--servers]
# --servers also installs the real servers the benchmarks measure beside (bench/redis_truth.sh,
# bench/db_share.sh --postgres, bench/server_truth.sh --gunicorn); the tests never need them.
set -euo pipefail
with_servers=0
case "${1:-}" in
  "") ;;
  --servers) with_servers=1 ;;
  *) echo "usage: $0 [--servers]"; exit 2 ;;
esac
pkgs=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libutf8proc-dev
  libx11-dev libxss-dev libxres-dev libatspi2.0-dev liburiparser-dev
  libtesseract-dev tesseract-ocr-eng
  qt6-base-dev qt6-base-dev-tools libqt6charts6-dev libqt6opengl6-dev libgl-dev qt6-qpa-plugins
  # the desktop the tests run on, and the tools they drive it with
  xvfb openbox x11-utils xdotool dbus dbus-x11 at-spi2-core fonts-dejavu-core
  # Chinese names and emoji in app names, drawn in the pictures the checks keep
  fonts-wqy-microhei fonts-noto-color-emoji
  # fuzzing, and a local TLS peer for the network tests
  clang libfuzzer-14-dev libclang-rt-14-dev curl openssl
  # the check that every package the configure step uses is installed here
  strace
  # the browser extensions' syntax check, and the browser the extension is tried in
  nodejs chromium
  # the Python pool that bench/cow_truth.sh forks
  python3
)
# Kept apart from pkgs: scripts/check-packages.sh reads that list as what the build may use.
servers=(
  # a key-value store saving in the background while written to, and its client and load tool
  redis-server redis-tools
  # a database whose backends come and go (pgbench, and pg_prewarm from contrib)
  postgresql-15 postgresql-contrib
  # a preforking WSGI server
  gunicorn python3
)
[ "$with_servers" = 0 ] || pkgs+=("${servers[@]}")
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
