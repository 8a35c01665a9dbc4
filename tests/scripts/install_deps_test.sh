#!/usr/bin/env bash
# scripts/install-deps.sh as a user without root: with no sudo it prints the
# apt-get line of what is missing and fails; with sudo it installs through it.
# The system's tools are replaced by stubs that report every package missing.
set -euo pipefail
script=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
for tool in bash grep env; do ln -s "$(command -v "$tool")" "$work/bin/$tool"; done
printf '#!/bin/sh\necho 1000\n' > "$work/bin/id"
printf '#!/bin/sh\nexit 1\n' > "$work/bin/dpkg-query"
chmod +x "$work/bin/id" "$work/bin/dpkg-query"
fail() { echo "FAIL: $*" >&2; exit 1; }

for job in build test; do
  rc=0
  PATH=$work/bin bash "$script" "$job" > "$work/out" 2> "$work/err" || rc=$?
  [ "$rc" = 1 ] || fail "$job without sudo: exit $rc, expected 1"
  grep -q "needs root" "$work/err" || fail "$job: no word of root: $(cat "$work/err")"
  line=$(grep "apt-get install -y" "$work/err") || fail "$job: no apt-get line"
  for p in cmake g++ lld libicu-dev libsqlite3-dev help2man; do
    [[ " $line " == *" $p "* ]] || fail "$job: $p missing from: $line"
  done
  case "$job" in
    build) [[ "$line" != *libgtest-dev* && "$line" != *clang* ]] || fail "the main job installs test packages: $line" ;;
    test) [[ "$line" == *libgtest-dev* && "$line" == *libxml2-utils* ]] || fail "the test job lacks test packages: $line" ;;
  esac
done

printf '#!/bin/sh\necho "$*" >> "%s/sudo.log"\n' "$work" > "$work/bin/sudo"
chmod +x "$work/bin/sudo"
PATH=$work/bin bash "$script" build > /dev/null 2>&1 || fail "with sudo: exit $?"
grep -q "^apt-get update" "$work/sudo.log" || fail "no apt-get update through sudo"
grep -q "^env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq cmake " "$work/sudo.log" ||
  fail "no install through sudo: $(cat "$work/sudo.log")"
rc=0
PATH=$work/bin bash "$script" frobnicate > /dev/null 2>&1 || rc=$?
[ "$rc" = 2 ] || fail "an unknown job: exit $rc, expected 2"
echo "install-deps: ok"
