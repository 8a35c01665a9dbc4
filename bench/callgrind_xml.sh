#!/usr/bin/env bash
# Instructions per input byte of parse + free and of serialization, for ezxml
# and each peer xml_bench was built with, counted by callgrind inside
# xml_bench's measured_operation()/measured_serialize() only (reading the file
# and copying the input are not counted). For the 121-byte reference document:
# instructions per parse + lookup + free (1000 rounds averaged).
#
# usage: bench/callgrind_xml.sh BENCH_EXE FILE... > table.txt
set -euo pipefail
exe=${1:?usage: callgrind_xml.sh BENCH_EXE FILE...}
shift
libs=${XML_BENCH_LIBS:-"ezxml pugixml rapidxml tinyxml2 expat libxml2"}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

count() { # lib op file -> instructions, or "-" when the lib cannot do it
  local f="$out/cg.out"
  rm -f "$f"
  if ! valgrind --tool=callgrind --callgrind-out-file="$f" --toggle-collect='*measured_*' \
      "$exe" --callgrind "$1" "$2" "$3" >/dev/null 2>"$out/err"; then
    echo "-"
    return
  fi
  awk '/^(summary|totals):/ { print $2; exit }' "$f"
}

printf '%-28s %-10s' file op
for l in $libs; do printf ' %10s' "$l"; done
printf '\n'

printf '%-28s %-10s' reference-121B lookup
for l in $libs; do
  n=$(count "$l" lookup reference)
  if [ "$n" = "-" ]; then printf ' %10s' -; else printf ' %10d' $((n / 1000)); fi
done
printf '   (instructions per parse+lookup+free)\n'

for file in "$@"; do
  bytes=$(stat -c %s "$file")
  for op in parse serialize; do
    printf '%-28s %-10s' "$(basename "$file")" "$op"
    for l in $libs; do
      n=$(count "$l" "$op" "$file")
      if [ "$n" = "-" ] || [ -z "$n" ]; then printf ' %10s' -; else
        awk -v n="$n" -v b="$bytes" 'BEGIN { printf " %10.1f", n / b }'
      fi
    done
    printf '   (instructions per input byte)\n'
  done
done
