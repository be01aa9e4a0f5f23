#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for SECONDS (default 30) from
# seeds made of generated files. Exit status 1 on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
ensure_packages "${BUILD_PACKAGES[@]}" clang libclang-rt-14-dev
seconds=${1:-30}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTKV_FUZZ=ON -DTKV_BUILD_TESTS=OFF -DTKV_BUILD_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build-fuzz -j"$JOBS" --target fuzz_decode_block fuzz_open_file fuzz_parse fuzz_merge fuzz_journal fuzz_sheet fuzz_json_import make_fuzz_seeds
./build-fuzz/make_fuzz_seeds build-fuzz/seeds
status=0
for target in decode_block open_file parse merge journal sheet json_import; do
    corpus=build-fuzz/ci-corpus-$target
    mkdir -p "$corpus"
    cp -n build-fuzz/seeds/$target/* "$corpus"/
    if ./build-fuzz/fuzz_$target -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "$corpus" \
        > build-fuzz/ci-$target.log 2>&1; then
        echo "fuzz_$target: $(grep -o 'number_of_executed_units: [0-9]*' build-fuzz/ci-$target.log) in ${seconds}s, no findings"
    else
        echo "fuzz_$target found a problem:"; tail -n 40 build-fuzz/ci-$target.log; status=1
    fi
done
exit $status
