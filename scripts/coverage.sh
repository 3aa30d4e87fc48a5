#!/usr/bin/env bash
# Line coverage of the product code (src/, renderer/, encoding/; tests and the
# recording renderer left out) by the ctest suites, with GCC's gcov and gcovr.
# Usage: scripts/coverage.sh [build folder]   (default build/coverage)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/coverage}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
  -DCMAKE_C_FLAGS="--coverage -O0" -DCMAKE_CXX_FLAGS="--coverage -O0" \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage \
  -DEPUB_BUILD_BENCH=OFF -DEPUB_SANITIZED=ON >/dev/null
cmake --build "$build"
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -j2 --output-on-failure
gcovr --root . --object-directory "$build" \
  --filter 'src/' --filter 'renderer/' --filter 'encoding/' \
  --exclude 'renderer/testing/' --exclude '.*/tests/' \
  --gcov-ignore-parse-errors --print-summary -o "$build/coverage.txt" "$build"
echo "coverage report: $build/coverage.txt"
