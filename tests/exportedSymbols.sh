#!/usr/bin/env bash
# The module's dynamic symbol table defines exactly the four exports among its functions.
set -euo pipefail
module="$1"
functions=$(nm -D --defined-only "$module" | awk '$2 ~ /^[TtWwi]$/ {print $3}' | sort)
expected=$(printf '%s\n' pExit pInfo pInit pNotify)
if [ "$functions" != "$expected" ]; then
  echo "unexpected exported functions:"; echo "$functions"; exit 1
fi
echo "exports: $(echo $functions)"
