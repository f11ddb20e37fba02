#!/usr/bin/env bash
# Keeps pictures of the sheets, the widget and the Setup and Developer pages as build artefacts
# under build/artifacts/. Run by scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${VELMORA_BUILD_DIR:-build}
mkdir -p "$build/artifacts"
VELMORA_ARTIFACTS="$build/artifacts" "$build/tests/test_ui" --gtest_filter='*Screenshots.*' --gtest_brief=1
ls "$build/artifacts"/*.png
