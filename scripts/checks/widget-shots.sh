#!/usr/bin/env bash
# Keeps pictures of the floating widget (regular, compact, critical, docked, its collapsed strip,
# no app to show, and its settings) as build artefacts under build/artifacts/, taken on the
# private desktop. Run by scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${VELMORA_BUILD_DIR:-build}
mkdir -p "$build/artifacts"
rm -f "$build/artifacts"/widget-*.png
# The tour takes its pictures, says "ready", and quits when its input closes.
./scripts/with-desktop.sh "$build/tests/programs/widget_tour" "$build/artifacts" </dev/null | grep -qx ready
for state in regular compact critical docked docked-strip docked-critical no-app settings; do
  [ -s "$build/artifacts/widget-$state.png" ] || { echo "no picture of the widget: $state"; exit 1; }
done
ls "$build/artifacts"/widget-*.png
