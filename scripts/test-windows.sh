#!/usr/bin/env bash
# Builds the core, tkvhdr and the core and tool tests for Windows with MinGW-w64
# (build-win), runs the tests under Wine, and compares the Windows tkvhdr with
# the Linux one (build-test, built first by test.sh) on one plate folder.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-2}

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DTKV_WERROR=ON \
      -DTKV_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" \
      -DCMAKE_CXX_COMPILER_LAUNCHER="$(command -v ccache || true)" > /dev/null
cmake --build build-win -j"$JOBS" --target tkvhdr tkv_tests

# Wine's own prefix, kept in the build folder; its server stays up for the run
# (started first, so that no test inherits the pipe of a server it started).
export WINEPREFIX=$PWD/build-win/wine WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
wineserver -p
wineboot -i > /dev/null 2>&1
status=0
(cd build-win && wine ./tkv_tests.exe --gtest_brief=1) || status=$?
bash tests/cli/windows_compare_test.sh build-test/tkvhdr build-win/tkvhdr.exe || status=$?
wineserver -k || true
exit $status
