#!/usr/bin/env bash
# Parse + release of each FILE by ezxml, pugixml and RapidXML: instructions
# per input byte (callgrind, inside measured() only), the median CPU time of
# interleaved rounds after a warm-up round, and peak resident memory of a
# process that parses the file once. "reference" is the 121-byte file
# reference document (instructions per parse + lookup + free).
#
# usage: bench/xml_parse_cost.sh XML_PARSE_COST_EXE FILE... > table.txt
set -euo pipefail
exe=${1:?usage: xml_parse_cost.sh EXE FILE...}
shift
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
libs="ezxml pugixml rapidxml"

instructions() { # lib file -> instructions of measured()
  valgrind --tool=callgrind --callgrind-out-file="$out/cg" --toggle-collect='*measured*' \
    "$exe" cg "$1" "$2" >/dev/null 2>"$out/err"
  awk '/^(summary|totals):/ { print $2; exit }' "$out/cg"
}

echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
for f in "$@"; do
  if [ "$f" = reference ]; then
    printf 'reference instructions per parse+lookup+free:'
    for l in $libs; do printf ' %s %d' "$l" $(($(instructions "$l" reference) / 1000)); done
    printf '\n'
    continue
  fi
  bytes=$(stat -c %s "$f")
  printf '%s (%d bytes) instructions/byte:' "$(basename "$f")" "$bytes"
  for l in $libs; do awk -v n="$(instructions "$l" "$f")" -v b="$bytes" -v l="$l" 'BEGIN { printf " %s %.2f", l, n / b }'; done
  printf '\n'
  "$exe" time "$f" "${ROUNDS:-7}"
  for l in $libs; do "$exe" rss "$l" "$f"; done
done
