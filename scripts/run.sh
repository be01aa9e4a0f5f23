#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the bundled example
# sample file. Builds are incremental: run it again after a change.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
ensure_packages "${BUILD_PACKAGES[@]}"
cmake -S . -B build -DTKV_BUILD_TESTS=OFF -DTKV_BUILD_BENCH=OFF > /dev/null
cmake --build build -j"$JOBS"
# Until the editor window exists, the main job prints the example's headers.
./build/tkvhdr dump build/example.tkv
