#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for the given seconds on a copy of
# its seed corpus; new inputs go to a scratch folder, not into the repository.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: run-fuzzers.sh BUILD_DIR SECONDS}
seconds=${2:-20}
shopt -s nullglob
ran=0
for src in fuzz/*_fuzz.cpp; do
  name=$(basename "$src" .cpp)
  exe="$build/fuzz/$name"
  [ -x "$exe" ] || { echo "missing fuzz target $exe"; exit 1; }
  work=$(mktemp -d)
  # Seeds of fuzz/<what>_fuzz.cpp are in fuzz/corpus/<what>/.
  for seeds in "fuzz/corpus/${name%_fuzz}" "fuzz/corpus/$name"; do
    [ -d "$seeds" ] && cp -r "$seeds/." "$work/"
  done
  echo "-- $name for ${seconds}s"
  "$exe" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 "$work" 2>&1 | tail -n 5
  rm -rf "$work"
  ran=$((ran + 1))
done
echo "fuzz targets run: $ran"
