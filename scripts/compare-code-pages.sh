#!/bin/sh
# Runs the code-page dump program built for Linux (the library's stand-ins)
# and the same program built for Windows (the real API), and compares their
# output record by record.
#
#   scripts/compare-code-pages.sh [--keep DIR] <linux-dump> <windows-dump> [code-page...]
#
# Code pages default to "1252 932". The Windows program is run through $WINE
# (default: wine; set WINE= to run it directly, on Windows); WINEPREFIX and
# WINEDEBUG are taken from the environment. --keep DIR leaves both dumps in
# DIR. Prints, per code page and direction, how many units or byte sequences
# differ and the first differences; exits 0 when the dumps are identical, 1
# when they differ, 2 on a usage or run error.
set -eu

usage() {
  echo "usage: $0 [--keep DIR] <linux-dump> <windows-dump> [code-page...]" >&2
  exit 2
}

keep=""
if [ "${1:-}" = "--keep" ]; then
  [ $# -ge 2 ] || usage
  keep=$2
  shift 2
fi
[ $# -ge 2 ] || usage

absolute() {
  case $1 in
    /*) printf '%s\n' "$1" ;;
    *) printf '%s/%s\n' "$(pwd)" "$1" ;;
  esac
}
linux_dump=$(absolute "$1")
windows_dump=$(absolute "$2")
shift 2
[ -x "$linux_dump" ] || { echo "$0: not an executable: $linux_dump" >&2; exit 2; }
[ -f "$windows_dump" ] || { echo "$0: no such file: $windows_dump" >&2; exit 2; }
if [ $# -eq 0 ]; then set -- 1252 932; fi

if [ -n "$keep" ]; then
  mkdir -p "$keep"
  work=$(cd "$keep" && pwd)
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi

"$linux_dump" "$work/linux.txt" "$@" || { echo "$0: the Linux dump failed" >&2; exit 2; }
# The Windows program is given a name relative to its working directory, so
# no Unix path has to be translated.
(cd "$work" && ${WINE-wine} "$windows_dump" windows.txt "$@") ||
  { echo "$0: the Windows dump failed" >&2; exit 2; }

# Both programs write the same records in the same order; a record that is
# missing or out of place is a difference of its own.
awk -v other="$work/windows.txt" '
  function direction(kind) { return kind == "w" ? "UTF-16 -> bytes" : "bytes -> UTF-16" }
  {
    mine = $0
    if ((getline theirs < other) <= 0) theirs = "(end of file)"
    if ($1 == "codepage") page = $2
    split(mine, a, " ")
    split(theirs, b, " ")
    if (a[1] == "w" || a[1] == "b" || a[1] == "p") {
      key = page " " direction(a[1])
      if (!(key in total)) { order[++keys] = key; total[key] = 0; differ[key] = 0 }
      ++total[key]
    }
    if (mine == theirs) next
    ++differences
    if (!(a[1] == "w" || a[1] == "b" || a[1] == "p")) {
      print "structure differs at line " NR ": linux \"" mine "\", windows \"" theirs "\""
      exit 1
    }
    ++differ[key]
    if (shown[key]++ < 12) sample[key] = sample[key] "    linux   " mine "\n    windows " theirs "\n"
  }
  END {
    if ((getline extra < other) > 0) { print "the Windows dump has more records"; ++differences }
    for (i = 1; i <= keys; ++i) {
      key = order[i]
      printf "code page %s: %d of %d differ\n", key, differ[key], total[key]
      printf "%s", sample[key]
    }
    exit differences > 0 ? 1 : 0
  }
' "$work/linux.txt"
