#!/usr/bin/env bash
# The browser extensions: their scripts parse, their manifests are JSON, both use the one background
# script, and what they post is what the bridge test sends.
set -euo pipefail
cd "$(dirname "$0")/../.."
for dir in extension/chromium extension/firefox; do
  node --check "$dir/background.js"
  node -e 'JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"))' "$dir/manifest.json"
done
# Firefox's folder links to the one script; a copy put in its place must not drift.
if ! cmp -s extension/chromium/background.js extension/firefox/background.js; then
  echo "extension/chromium/background.js and extension/firefox/background.js differ" >&2
  exit 1
fi
node tests/sensors/bridge/extension_harness.js "$PWD"
# Debian's Chromium with the extension, on a private desktop in a network namespace of its own so
# that the extension's fixed port is free whatever else runs on this machine.
if command -v chromium >/dev/null && [ "$(id -u)" -eq 0 ]; then
  unshare -n bash -c 'ip link set lo up && exec scripts/with-desktop.sh node tests/sensors/chromium/real_chromium.js "$PWD"'
else
  echo "extensions: no real-browser check (needs chromium and root)"
fi
echo "extensions: ok"
