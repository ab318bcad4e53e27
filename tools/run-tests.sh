#!/usr/bin/env bash
# Installs what is missing, builds Tarvik with its tests and runs them all.
# With SANITIZE=1 the build uses AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh test
build=build
flags=(-DTARVIK_TESTS=ON)
if [ "${SANITIZE:-0}" = 1 ]; then
  build=build-asan
  flags+=(-DTARVIK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
fi
cmake -S . -B "$build" -G Ninja "${flags[@]}"
cmake --build "$build"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j2 --timeout 300
