#!/usr/bin/env bash
# Keeps a picture of the main window, taken on the private desktop, as a build artefact:
# build/artifacts/main-window.png, and each page state as build/artifacts/main-*.png. Run by scripts/test.sh inside scripts/with-desktop.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${VELMORA_BUILD_DIR:-build}
mkdir -p "$build/artifacts"
home=$(mktemp -d /tmp/velmora-shot.XXXXXX)
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$home"
}
trap cleanup EXIT

mkdir -p "$home/config/Velmora"
echo '{"Velmora.FirstRunCompleted":true,"Velmora.StableHintDismissed":true}' >"$home/config/Velmora/defaults.json"
XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" HOME="$home" "$build/velmora" >"$home/log" 2>&1 &
pid=$!
window=""
for _ in $(seq 100); do
  window=$(xdotool search --all --onlyvisible --pid "$pid" --name '(^| — )Velmora$' 2>/dev/null | tail -n 1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "The main window did not appear:"
  cat "$home/log"
  exit 1
fi
sleep 3  # a few samples in, so the window shows a running application
"$build/tests/programs/window_shot" "$window" "$build/artifacts/main-window.png"
echo "Saved $build/artifacts/main-window.png"

# Every page state of the main window at the smallest and a large size, over seeded data.
"$build/tests/programs/main_window_tour" "$build/artifacts" </dev/null >/dev/null
echo "Saved the main window's page states to $build/artifacts/main-*.png"
