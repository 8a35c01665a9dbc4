#!/usr/bin/env bash
# Installs the Debian packages the build, tests, benchmarks and fuzzers need,
# only those that are missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang lld llvm libclang-rt-14-dev
  libicu-dev libsqlite3-dev libgtest-dev libgmock-dev libbenchmark-dev
  libxml2-dev pkg-config
  # The translator's tests check exchange files with gettext's msgfmt and
  # xmllint against the XLIFF 1.2 schema that php-symfony-translation ships.
  gettext libxml2-utils php-symfony-translation
  # The Windows build (scripts/run-windows-tests.sh): Debian's mingw-w64 with
  # POSIX threads, and Wine to run what it builds.
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
)
if [ "${PAVORM_BENCH_PEERS:-0}" = 1 ]; then
  packages+=(libpugixml-dev librapidxml-dev libtinyxml2-dev libexpat1-dev gettext icu-devtools valgrind)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
