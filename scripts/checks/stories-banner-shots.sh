#!/usr/bin/env bash
# Keeps pictures of the Stories page at 900x560 while the extension banner shows above the
# filters, scrolled down to it, and with the widest figures in the glance cards beside app names in
# four scripts, as build artefacts: build/artifacts/stories-banner-*.png. Run by
# scripts/test.sh inside scripts/with-desktop.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${VELMORA_BUILD_DIR:-build}
rm -f "$build"/artifacts/stories-banner-*.png
"$build/tests/test_ui_shots" --gtest_filter='StoriesBannerShots.*' --gtest_brief=1
missing=0
for shot in stories-banner-900x560 stories-banner-scrolled-900x560 stories-banner-figures-{fa,he,ur,zh}-900x560; do
  file="$build/artifacts/$shot.png"
  if [ -s "$file" ]; then echo "Saved $file"; else echo "Missing $file"; missing=1; fi
done
exit "$missing"
