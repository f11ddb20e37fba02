#!/usr/bin/env bash
# Keeps pictures of the Stories page over seeded stories (growth, release, system, measurement,
# sustained growth), unselected with the extension banner, filtered to nothing and empty, as build
# artefacts: build/artifacts/stories-*.png. Needs the private desktop.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${VELMORA_BUILD_DIR:-build}
mkdir -p "$build/artifacts"
"$build/tests/programs/stories_shots" "$build/artifacts"
echo "Saved the Stories page to $build/artifacts/stories-*.png"
