#!/usr/bin/env bash
# Installs what is missing, builds the library and its tests, and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
build=${PAVORM_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAVORM_BUILD_TESTS=ON
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
