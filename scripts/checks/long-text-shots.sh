#!/usr/bin/env bash
# Keeps pictures of Overview and the Stories page (with the extension banner) at 900x560 and
# 1100x700, the story detail, Who's heavy, Live Chart and Trends at 900x560, the floating card, the docked bar and its
# settings with "Dock bottom" chosen, over 120-character app names and the widest amounts; the story
# detail at 900x560 about a file name with underscores and about a one-word 120-character app name;
# the card with a right-to-left name; every page over Arabic names with emoji, as build artefacts: build/artifacts/long-*.png. Run by scripts/test.sh inside scripts/with-desktop.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${VELMORA_BUILD_DIR:-build}
rm -f "$build"/artifacts/long-*.png
"$build/tests/test_ui_shots" --gtest_filter='LongTextShots.*' --gtest_brief=1
missing=0
for shot in overview-900x560 overview-1100x700 stories-900x560 stories-1100x700 story-detail-900x560 \
  whos-heavy-900x560 live-chart-900x560 trends-900x560 widget-card widget-docked widget-settings-dock-bottom \
  story-detail-file-name-900x560 story-detail-file-name-whole-900x560 story-detail-one-word-900x560 \
  story-detail-one-word-whole-900x560 widget-card-rtl arabic-overview-900x560 arabic-stories-900x560 \
  arabic-whos-heavy-900x560 arabic-live-chart-900x560 arabic-trends-900x560; do
  file="$build/artifacts/long-$shot.png"
  if [ -s "$file" ]; then echo "Saved $file"; else echo "Missing $file"; missing=1; fi
done
exit "$missing"
