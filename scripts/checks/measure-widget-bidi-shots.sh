#!/usr/bin/env bash
# Keeps pictures of right-to-left app names beside words and figures: Check one action at 900x560
# while watching and while settling an Arabic-named app, and its report; the widget's floating card
# and docked bar with an Arabic name cut just after an emoji, as build artefacts:
# build/artifacts/bidi-*.png. Run by scripts/test.sh inside scripts/with-desktop.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${VELMORA_BUILD_DIR:-build}
rm -f "$build"/artifacts/bidi-measure-*.png "$build"/artifacts/bidi-widget-*.png
"$build/tests/test_ui_shots" --gtest_filter='MeasureWidgetBidiShots.*' --gtest_brief=1
missing=0
for shot in measure-watching-900x560 measure-settling-900x560 measure-report-900x560 widget-card-emoji \
  widget-docked-emoji; do
  file="$build/artifacts/bidi-$shot.png"
  if [ -s "$file" ]; then echo "Saved $file"; else echo "Missing $file"; missing=1; fi
done
exit "$missing"
