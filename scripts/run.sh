#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the bundled example
# sample file. Builds are incremental: run it again after a change.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
ensure_packages "${BUILD_PACKAGES[@]}"
cmake -S . -B build -DTKV_BUILD_TESTS=OFF -DTKV_BUILD_BENCH=OFF > /dev/null
cmake --build build -j"$JOBS"
# The editor on the bundled example. Without a display (a bare console or an ssh
# session) it cannot show a window: the example's headers are printed instead.
if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    exec ./build/tkv-editor build/example.tkv
fi
echo "No display to show the editor on: printing the example's headers with tkvhdr." >&2
echo "(On a machine without one: xvfb-run bash scripts/run.sh)" >&2
./build/tkvhdr dump build/example.tkv
