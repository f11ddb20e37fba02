#!/usr/bin/env bash
# Installs the Debian packages, builds Velmora and runs it. Without a display it says so and runs
# on Qt's offscreen platform: no windows, but it still samples every app and writes its stories.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=${VELMORA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target velmora
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  data=${XDG_DATA_HOME:-${HOME:-/tmp}/.local/share}
  echo "No display found: running without windows (Qt's offscreen platform)."
  echo "Velmora still samples memory and writes its stories to $data/Velmora/stories.json."
  export QT_QPA_PLATFORM=offscreen
fi
exec "$build/velmora" "$@"
