#!/usr/bin/env bash
# The Windows build: cross-compiles the library, its tool and its tests with
# mingw-w64 and runs the whole suite under Wine, in a fresh Wine prefix whose
# server is stopped at the end. Then compares the code-page conversions of the
# Linux stand-ins with the real API's, and checks that a module written by the
# Linux `pavorm build` loads with the system's LoadLibraryExW + LoadStringW.
#
#   bash scripts/run-windows-tests.sh [linux-build-dir]   (default: build)
#
# The Linux build must exist (scripts/run-tests.sh makes it). PAVORM_WIN_BUILD_DIR
# names the Windows build folder (default: build-win).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh windows
linux=${1:-build}
win=${PAVORM_WIN_BUILD_DIR:-build-win}
jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2

# A fresh prefix, its server started the way that works without a display;
# exported for the build as well as for the tests.
mkdir -p "$win"
export WINEPREFIX=$PWD/$win/wineprefix WINEDEBUG=-all
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k || true' EXIT
wineboot -i </dev/null >/dev/null 2>&1

cmake --toolchain cmake/mingw-w64-x86_64.cmake -S . -B "$win" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAVORM_BUILD_TESTS=ON
cmake --build "$win" -j "$jobs"
# Under Wine a test process now and then ends at once with nothing written
# (0.00 s, not even GoogleTest's banner: the process never ran the test);
# seen twice in a few dozen runs, each time a different test that passed
# when it ran again. Only when every failure is of that kind do the failed
# tests run once more, one at a time, and the run fails if any of them
# fails again; the first failures stay in the log.
ctest_log=$win/ctest-output.txt
if ! ctest --test-dir "$win" --output-on-failure -j "$jobs" 2>&1 | tee "$ctest_log"; then
  if grep -E '\*\*\*(Failed|Exception|Timeout)' "$ctest_log" | grep -vqE 'Failed +0\.00 sec$'; then
    exit 1
  fi
  echo "== tests that did not start under Wine, once more =="
  ctest --test-dir "$win" --rerun-failed --output-on-failure
fi

echo "== code pages: the Linux stand-ins against the real API =="
bash scripts/compare-code-pages.sh "$linux/tests/code_pages_dump" "$win/tests/code_pages_dump.exe"

echo "== a module written by the Linux pavorm, loaded by Windows =="
work=$(mktemp -d)
trap 'rm -rf "$work"; wineserver -k || true' EXIT
"$linux/tools/pavorm" export "$linux/lang/PavoRmdeu.dll" -o "$work/PavoRmdeu.po"
"$linux/tools/pavorm" build "$work/PavoRmdeu.po" --lang deu --fill -o "$work/PavoRmdeu.dll"
wine "$win/tests/module_load_check.exe" "$work/PavoRmdeu.dll" "$linux/lang/PavoRmdeu.dll"
