#!/usr/bin/env bash
# Keeps pictures of the Overview, Live Chart, Who's heavy, Trends, Setup and Developer pages over
# seeded state, at 900x560 and 1400x900, as build artefacts: build/artifacts/page-*.png (Setup and
# Developer also whole, page-*-all.png). Run by scripts/test.sh
# inside scripts/with-desktop.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${VELMORA_BUILD_DIR:-build}
rm -f "$build"/artifacts/page-*.png
"$build/tests/test_ui_shots" --gtest_filter='PageShots.*:SetupDeveloperShots.*' --gtest_brief=1
missing=0
for page in overview live-chart whos-heavy trends setup developer; do
  for size in 900x560 1400x900; do
    file="$build/artifacts/page-$page-$size.png"
    if [ -s "$file" ]; then echo "Saved $file"; else echo "Missing $file"; missing=1; fi
  done
done
exit "$missing"
