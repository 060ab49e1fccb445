#!/usr/bin/env bash
# What the module takes from the runtime library: only the operations that
# library's contract lists. Prints every import from it, fails on any other.
#   importedSymbols.sh elf MODULE RUNTIME_LIBRARY     (nm -D on both)
#   importedSymbols.sh pe OBJDUMP MODULE RUNTIME_DLL_NAME
set -euo pipefail
kind="$1"; shift
case "$kind" in
  elf)
    module="$1"; runtime="$2"
    imports=$(comm -12 <(nm -D --undefined-only "$module" | awk '{print $NF}' | sed 's/@.*//' | sort -u) \
                       <(nm -D --defined-only "$runtime" | awk '{print $NF}' | sed 's/@.*//' | sort -u))
    ;;
  pe)
    objdump="$1"; module="$2"; dll="$3"
    # The entries under "DLL Name: <dll>", up to the next blank line.
    # Read once: under pipefail, grep -q closing the pipe early would fail objdump.
    listing=$("$objdump" -p "$module")
    imports=$(awk -v dll="$dll" '
      /^[[:space:]]*DLL Name:/ { inDll = tolower($3) == tolower(dll); next }
      inDll && /^[[:space:]]*$/ { inDll = 0 }
      inDll && /^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[^[:space:]]+$/ { print $3 }' <<<"$listing" | sort -u)
    if ! grep -qi "DLL Name: $dll\$" <<<"$listing"; then
      echo "the module does not import $dll"; exit 1
    fi
    ;;
  *) echo "usage: $0 elf MODULE RUNTIME | pe OBJDUMP MODULE DLL"; exit 2 ;;
esac

# The listed operations, demangled, for any capacity N.
listed=(
  '_kxString<[0-9]+>::_kxString\((char const\*|char)?\)'
  '_kxString<[0-9]+>::(clear|makeLower|clearUnused)\(\)'
  '_kxString<[0-9]+>::isEmpty\(\) const'
  '_kxString<[0-9]+>::isEqual\(_kxString<[0-9]+> const&\) const'
  '_kxString<[0-9]+>::add\(char const\*\)'
  '_kxString<[0-9]+>::insert\(int, _kxString<[0-9]+> const&\)'
  '_kxString<[0-9]+>::remove\(int, int\)'
  '_kxString<[0-9]+>::indexOf\((unsigned short|char16_t), int\) const'
  '_kxString8_allSize<[0-9]+>::_kxString8_allSize\((char const\*)?\)'
  '_kxString8_allSize<[0-9]+>::clear\(\)'
  '_kxString8_allSize<[0-9]+>::isEmpty\(\) const'
  '_kxString8_allSize<[0-9]+>::isEqual\(_kxString8_allSize<[0-9]+> const&\) const'
  '_kxTime::_kxTime\((bool)?\)'
  '_kxTime::setCurrentTime\((long long|long)\)'
  '_kxTime::(asStringMt|asStringDateHourMin)\(\) const'
  '_kxLogfile::addLog\(QString&\)'
  '_kxLogfile::flush\(\)'
  'kxToKXUTF8\(QString( const&)?, bool\)'
)
pattern="^($(IFS='|'; echo "${listed[*]}"))\$"

if [ -z "$imports" ]; then
  echo "no imports from the runtime library found"; exit 1
fi
status=0
while read -r symbol; do
  demangled=$(c++filt "$symbol")
  if [[ "$demangled" =~ $pattern ]]; then
    echo "listed    $demangled"
  else
    echo "UNLISTED  $demangled"; status=1
  fi
done <<< "$imports"
exit $status
