#!/usr/bin/env bash
# Keeps pictures of the Stories page, the story detail, Who's heavy, the floating card and the
# docked bar at 900x560 over a 60-character app name and the widest amounts, as build artefacts:
# build/artifacts/long-*.png. Run by scripts/test.sh inside scripts/with-desktop.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${VELMORA_BUILD_DIR:-build}
rm -f "$build"/artifacts/long-*.png
"$build/tests/test_ui_shots" --gtest_filter='LongTextShots.*' --gtest_brief=1
missing=0
for shot in stories-900x560 story-detail-900x560 whos-heavy-900x560 widget-card widget-docked; do
  file="$build/artifacts/long-$shot.png"
  if [ -s "$file" ]; then echo "Saved $file"; else echo "Missing $file"; missing=1; fi
done
exit "$missing"
