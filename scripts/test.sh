#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs every test:
# once in a normal build and once under AddressSanitizer and
# UndefinedBehaviorSanitizer. Builds are incremental.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"

cmake -S . -B build-test -DTKV_WERROR=ON > /dev/null
cmake --build build-test -j"$JOBS"
(cd build-test && ctest -j"$JOBS" --output-on-failure)

cmake -S . -B build-sanitize -DTKV_WERROR=ON -DTKV_SANITIZE=ON -DTKV_BUILD_BENCH=OFF \
      -DCMAKE_BUILD_TYPE=Debug > /dev/null
cmake --build build-sanitize -j"$JOBS"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest -j"$JOBS" --output-on-failure)

# The core and the tool built for Windows and tested under Wine (README, "Windows").
bash scripts/test-windows.sh

# Each fuzzer for a short, bounded time.
bash scripts/fuzz.sh 30
