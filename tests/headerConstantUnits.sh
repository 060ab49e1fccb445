#!/usr/bin/env bash
# How many of the module's source units hold each group of header constants: one member of each group
# counted among the module's local symbols, against the table given.
set -euo pipefail
module="$1"
table="$2"
symbols=$(nm -C "$module")
status=0
while read -r name units; do
  units=${units%$'\r'}
  case "$name" in '' | '#'*) continue ;; esac
  found=$(grep -c "(anonymous namespace)::${name}\$" <<<"$symbols" || true)
  if [ "$found" != "$units" ]; then
    echo "$name: held by $found units, not $units"
    status=1
  fi
done <"$table"
[ $status -eq 0 ] && echo "header constant groups held as listed"
exit $status
