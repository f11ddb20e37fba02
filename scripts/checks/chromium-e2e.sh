#!/usr/bin/env bash
# Velmora, Debian's Chromium and the extension together: a page that grows while in front gets a
# story naming its host, and an incognito window in front during a growth leaves no trace of its
# page in anything Velmora writes or shows. Takes about two minutes.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${VELMORA_BUILD_DIR:-build}
case $build in /*) ;; *) build=$PWD/$build ;; esac
if ! command -v chromium >/dev/null || [ "$(id -u)" -ne 0 ]; then
  echo "chromium-e2e: not run (needs chromium and root)"
  exit 0
fi
if [ ! -x "$build/velmora" ]; then
  echo "chromium-e2e: $build/velmora is missing; build the velmora target first" >&2
  exit 1
fi
# A network namespace of its own, so that the bridge's fixed port is free whatever else runs here,
# with a desktop of its own inside it (the session and accessibility buses are reached there).
# That desktop's X socket goes in a folder of its own: from another network namespace the display
# this runs on looks free, and its Xvfb would take over and then delete that display's socket.
# Its own process group, so that an interrupted run takes everything it started with it.
setsid unshare -n -m bash -c 'mount -t tmpfs -o mode=1777 tmpfs /tmp/.X11-unix && ip link set lo up &&
  exec env -u VELMORA_INSIDE_DESKTOP scripts/with-desktop.sh \
  node tests/sensors/chromium/velmora_e2e.js "$PWD" "$1" "$2"' chromium-e2e "$build/velmora" "$build/artifacts" &
run=$!
trap 'kill -TERM -- "-$run" 2>/dev/null || true' INT TERM HUP
status=0
wait "$run" || status=$?
# A signal ends the wait early: let the run finish cleaning up.
while kill -0 "$run" 2>/dev/null; do wait "$run" || status=$?; done
trap - INT TERM HUP
exit "$status"
