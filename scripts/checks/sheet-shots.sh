#!/usr/bin/env bash
# Keeps pictures of the welcome, help and what's-new sheets in the application's own dark look, as
# build artefacts under build/artifacts/. Run by scripts/test.sh inside scripts/with-desktop.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${VELMORA_BUILD_DIR:-build}
mkdir -p "$build/artifacts"
"$build/tests/test_ui_shots" --gtest_filter='SheetShots.*' --gtest_brief=1
missing=0
for sheet in first-run first-run-install-failed first-run-installed-copy help help-all whats-new whats-new-all; do
  file="$build/artifacts/$sheet.png"
  if [ -s "$file" ]; then echo "Saved $file"; else echo "Missing $file"; missing=1; fi
done
exit "$missing"
