#!/usr/bin/env bash
# The main job: installs what is missing, builds the library, its language
# modules and the pavorm tool, and runs `pavorm demo` (the library hosted the
# way an application hosts it). The demo's hive lives in
# ${XDG_DATA_HOME:-~/.local/share}/pavorm/config.hive; it is created on first run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh build
build=${PAVORM_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target pavorm
"$build/tools/pavorm" demo
