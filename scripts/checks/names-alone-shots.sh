#!/usr/bin/env bash
# Keeps pictures of right-to-left app names standing alone beside Latin ones: Who's heavy, Trends (its
# repeat offenders in view), Overview (and its movers), Live Chart and the footer's window title at
# 900x560 over "(בדיקה) כלי", an Arabic name ending in an emoji and a right-to-left name too long for
# its row, the floating card, the docked bar and its picker, the footer's title over two lines and
# the Developer page's last page, as build artefacts:
# build/artifacts/names-*.png.
# Run by scripts/test.sh inside scripts/with-desktop.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${VELMORA_BUILD_DIR:-build}
rm -f "$build"/artifacts/names-*.png
"$build/tests/test_ui_shots" --gtest_filter='NamesAloneShots.*' --gtest_brief=1
missing=0
for shot in whos-heavy-900x560 trends-900x560 overview-900x560 overview-movers-900x560 live-chart-900x560 \
            widget-card widget-docked widget-picker footer-hebrew-900x560 footer-arabic-900x560 \
            developer-900x560 developer-cut-900x560; do
  file="$build/artifacts/names-$shot.png"
  if [ -s "$file" ]; then echo "Saved $file"; else echo "Missing $file"; missing=1; fi
done
exit "$missing"
