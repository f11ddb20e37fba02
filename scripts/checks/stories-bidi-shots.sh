#!/usr/bin/env bash
# Keeps pictures of the Stories page over names a left-to-right sentence must hold in place: at
# 900x560 a story row beside its detail about an Arabic-named app editing a file whose title mixes
# Arabic and Latin, a row whose bracketed Hebrew app name is cut short, the detail and the Quit box
# over an app named in 90 Chinese characters, and that box on its screen; at 900x560 and 1100x700 a
# row whose title wraps inside a Persian name; as build artefacts: build/artifacts/bidi-*.png. Run
# by scripts/test.sh inside scripts/with-desktop.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${VELMORA_BUILD_DIR:-build}
rm -f "$build"/artifacts/bidi-story-*.png "$build"/artifacts/bidi-quit-*.png
"$build/tests/test_ui_shots" --gtest_filter='StoriesBidiShots.*' --gtest_brief=1
missing=0
for shot in story-row-detail-900x560 story-row-bracketed-hebrew-900x560 story-detail-chinese-900x560 quit-box-chinese quit-box-chinese-screen \
    story-row-wrapped-persian-900x560 story-row-wrapped-persian-1100x700; do
  file="$build/artifacts/bidi-$shot.png"
  if [ -s "$file" ]; then echo "Saved $file"; else echo "Missing $file"; missing=1; fi
done
exit "$missing"
