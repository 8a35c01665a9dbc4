#!/usr/bin/env bash
# Installs the Debian packages that are missing, by group:
#   scripts/install-deps.sh build   what building the library, its modules and
#                                   the tool and running the demo need
#   scripts/install-deps.sh test    that, plus the tests, sanitizers and fuzzers
#                                   (the default)
#   scripts/install-deps.sh windows the test set, plus mingw-w64 and Wine for
#                                   the Windows build (scripts/run-windows-tests.sh)
# PAVORM_BENCH_PEERS=1 adds the benchmark peers. Installing needs root: as
# another user the script uses sudo, and without sudo it prints the exact
# apt-get line and exits with 1.
set -euo pipefail
job=${1:-test}
case "$job" in
  build|test|windows) ;;
  *) echo "usage: $0 [build|test|windows]" >&2; exit 2 ;;
esac

# Building and the demo: compilers, the resource compiler and linker of the
# language modules, ICU, SQLite, and help2man for the tool's man page.
build_packages=(
  cmake ninja-build g++ llvm lld
  libicu-dev libsqlite3-dev
  help2man
)
# The test command: the sanitizer build (Clang), the test frameworks, the
# reference checkers of the tool's tests (msgfmt, xmllint and the XLIFF 1.2
# schema that php-symfony-translation ships).
test_packages=(
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libxml2-dev pkg-config
  gettext libxml2-utils php-symfony-translation
)
# The Windows build: Debian's mingw-w64 with POSIX threads, and Wine to run
# what it builds.
windows_packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
)
bench_packages=(
  libpugixml-dev librapidxml-dev libtinyxml2-dev libexpat1-dev gettext icu-devtools valgrind
)

packages=("${build_packages[@]}")
[ "$job" != build ] && packages+=("${test_packages[@]}")
[ "$job" = windows ] && packages+=("${windows_packages[@]}")
[ "${PAVORM_BENCH_PEERS:-0}" = 1 ] && packages+=("${bench_packages[@]}")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" != 0 ]; then
  if ! command -v sudo > /dev/null 2>&1; then
    echo "$0: missing Debian packages; installing them needs root (no sudo here). As root run:" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  sudo=(sudo)
fi
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
