#!/usr/bin/env bash
# The DLL's export table names exactly the four exports, undecorated.
set -euo pipefail
objdump="$1"
module="$2"
# The name table lists one "[ordinal] name" line per exported name.
names=$("$objdump" -p "$module" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' \
        | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\([^[:space:]]*\).*/\1/p' | sort)
expected=$(printf '%s\n' pExit pInfo pInit pNotify)
if [ "$names" != "$expected" ]; then
  echo "unexpected exported names:"; echo "$names"; exit 1
fi
# Nothing exported by ordinal only: the address table has one entry per name.
entries=$("$objdump" -p "$module" | sed -n 's/^[[:space:]]*Export Address Table[[:space:]]*\([0-9a-fA-F]\{8\}\)$/\1/p')
if [ "$entries" != 00000004 ]; then
  echo "export address table has $entries entries"; exit 1
fi
echo "exports: $(echo $names)"
