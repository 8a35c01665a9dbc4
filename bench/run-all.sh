#!/usr/bin/env bash
# The whole speed table in one command: builds the benchmarks (Release by
# default), writes the XML corpus, runs every measurement in processes of its
# own and prints the table (Markdown) with the load average. The raw lines
# are kept in BUILD_DIR/bench/run-all.log.
#
#   bash bench/run-all.sh [BUILD_DIR]        (default: build-bench)
#
# Needs the peers (PAVORM_BENCH_PEERS=1 bash scripts/install-deps.sh) and
# valgrind. Runs in under 10 minutes on a 2-core machine at low load.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build-bench}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPAVORM_BUILD_BENCH=ON >/dev/null
else
  cmake -S "$src" -B "$build" -DPAVORM_BUILD_BENCH=ON >/dev/null
fi
cmake --build "$build" -j2 --target xml_bench modules_bench registry_bench >/dev/null
exec python3 "$src/bench/run_all.py" "$build"
