#!/usr/bin/env bash
# Installs what is missing, builds the sanitizer tree (warnings are errors) and runs every test.
# Extra arguments go to ctest (for example: ./test.sh -L core). No test runs the benchmark
# programs: they are built in a Release tree of their own (README, "Benchmarks").
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup-deps
cmake -S . -B build-check -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELA_SANITIZE=ON -DVELA_WERROR=ON -DVELA_BENCH=OFF
cmake --build build-check
cd build-check
ctest --output-on-failure -j "$(nproc)" "$@"
