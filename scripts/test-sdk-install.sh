#!/usr/bin/env bash
# Installs the project into a temporary prefix, builds the out-of-tree example
# plug-in against the installed SDK in a folder of its own, and loads it with
# the installed kxhost. Reuses build/ (from scripts/test.sh) when it is there.
# Usage: scripts/test-sdk-install.sh [BUILD_DIR]
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
example_build=$work/example
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

passed=0
failed=0
# check NAME COMMAND...: runs the command, its output kept in $work/out.
check() {
  local name=$1
  shift
  if "$@" >"$work/out" 2>&1; then
    passed=$((passed + 1))
    echo "ok   $name"
  else
    failed=$((failed + 1))
    echo "FAIL $name"
    sed 's/^/     /' "$work/out" | tail -40
  fi
}

build_project() {
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo || return
  fi
  cmake --build "$build"
}

installed_files_present() {
  local missing=0 file
  for file in \
      include/kxNotify/kxNotifyContract.h include/kxNotify/kxStringField.h \
      include/kxNotify/detail/kxRecordBytes.h include/kxNotify/kxSharedLayout.h \
      include/kxNotify/kxSdkLogChannel.h include/kxNotify/kxJobOptionDefinitions.h \
      include/kxNotify/kxLineBreakConstants.h include/kxNotify/kxLetterConstants.h \
      include/kxNotify/kxKeywordConstants.h include/kxNotify/kxMarkerConstants.h \
      include/kxNotify/kxClient.h include/kxNotify/kxShared.h \
      include/kxNotify/records/kxPluginInfoRecord.h include/kxNotify/records/kxNotifyParamsRecord.h \
      include/kxNotify/records/kxServerSdkRecord.h include/kxNotify/records/kxJobRecord.h \
      include/kxNotify/records/kxClientTableRecord.h include/kxNotify/records/kxClientRecord.h \
      include/kxNotify/records/kxServerConfigRecord.h \
      lib/libkxsdk.a lib/libkxShared.so \
      lib/cmake/kxNotifySDK/kxNotifySDKConfig.cmake lib/cmake/kxNotifySDK/kxNotifySDKConfigVersion.cmake \
      lib/cmake/kxNotifySDK/kxNotifySDKTargets.cmake \
      bin/kxhost lib/kxNotify/plugins/kxNotifyKXMessage64.so; do
    [ -f "$prefix/$file" ] || { echo "missing: $file"; missing=1; }
  done
  return $missing
}

# Every header on its own, as a user would include it: none leans on another
# header having come first.
headers_stand_alone() {
  local header status=0
  mkdir -p "$work/headers"
  printf 'cmake_minimum_required(VERSION 3.25)\nproject(h LANGUAGES CXX)\nfind_package(kxNotifySDK REQUIRED)\nadd_library(h OBJECT %s)\ntarget_link_libraries(h PRIVATE kxNotify::sdk)\nset_target_properties(h PROPERTIES CXX_STANDARD 17)\n' \
      "$(cd "$prefix/include/kxNotify" && find . -name '*.h' | sort | sed 's|^\./||; s|/|_|g; s|\.h$|.cpp|' | tr '\n' ' ')" \
      >"$work/headers/CMakeLists.txt"
  while read -r header; do
    echo "#include \"$header\"" >"$work/headers/$(echo "$header" | sed 's|/|_|g; s|\.h$|.cpp|')"
  done < <(cd "$prefix/include/kxNotify" && find . -name '*.h' | sed 's|^\./||')
  cmake -S "$work/headers" -B "$work/headers/build" "${generator[@]}" -DCMAKE_PREFIX_PATH="$prefix" &&
    cmake --build "$work/headers/build" || status=1
  return $status
}

# The table is defined in the library's own source file, where an optimising
# build has nothing that reads it.
job_option_table_in_library() {
  nm -C "$prefix/lib/libkxsdk.a" >"$work/nm" || return
  grep -q 'kx::jobOptionDefinitionTable()' "$work/nm" &&
    awk '/^kxJobOptionDefinitions\.cpp\.o:/ { inside = 1; next } /^$/ { inside = 0 }
         inside && /jobOptionDefinitions$/ { found = 1 } END { exit !found }' "$work/nm"
}

configure_example() {
  cmake -S examples/outOfTreePlugin -B "$example_build" "${generator[@]}" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_PREFIX_PATH="$prefix"
}

build_example_without_warnings() {
  cmake --build "$example_build" >"$work/example-build.log" 2>&1
  local status=$?
  cat "$work/example-build.log"
  [ $status -eq 0 ] && ! grep -q 'warning:' "$work/example-build.log"
}

example_exports_four() {
  local exports
  exports=$(nm -D --defined-only "$example_build/kxSdkExample.so" | awk '$2 == "T" { print $3 }' | sort | tr '\n' ' ')
  echo "exports: $exports"
  [ "$exports" = "pExit pInfo pInit pNotify " ]
}

kxhost_info_of_example() {
  "$prefix/bin/kxhost" info --plugin "$example_build/kxSdkExample.so" >"$work/info" 2>&1
  local status=$?
  cat "$work/info"
  [ $status -eq 0 ] &&
    grep -q '^  name          sdkExample$' "$work/info" &&
    grep -q '^  SDK version   " 8.4.03"$' "$work/info" &&
    grep -q '^  layouts       records accepted$' "$work/info"
}

kxhost_notify_through_example() {
  cp examples/farm.json examples/jobs.json "$work/"
  (cd "$work" && "$prefix/bin/kxhost" notify farm.json --job jobs.json --plugin "$example_build/kxSdkExample.so") \
      >"$work/notify" 2>&1
  local status=$?
  cat "$work/notify"
  [ $status -eq 0 ] && grep -q 'sdkExample: notified; the SDK knows 19 job options' "$work/notify" &&
    cmp -s examples/farm.json "$work/farm.json"
}

# The installed server stand-in finds the installed module without being told.
kxhost_info_of_installed_module() {
  "$prefix/bin/kxhost" info && "$prefix/bin/kxhost" info | grep -q '^  name          kxMessage$'
}

# The conformance suite, run by the installed kxhost on the example as a plug-in author runs it.
kxhost_check_passes_example() {
  "$prefix/bin/kxhost" check "$example_build/kxSdkExample.so" --json "$work/example-check.json"
  local status=$?
  [ $status -eq 0 ] && grep -q '"fail": 0' "$work/example-check.json"
}

kxhost_check_passes_installed_module() {
  "$prefix/bin/kxhost" check
}

configure_and_build_broken_plugins() {
  cmake -S tests/brokenPlugins -B "$work/broken" "${generator[@]}" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_PREFIX_PATH="$prefix" &&
    cmake --build "$work/broken"
}

# Each plug-in broken on purpose, and the row of the check that must catch it.
kxhost_check_catches_broken_plugins() {
  local plugin check row status=0
  while read -r plugin check row; do
    "$prefix/bin/kxhost" check "$work/broken/kxBroken_$plugin.so" --only "$check" --cycles 60 \
        --time-limit 5 >"$work/broken-check" 2>&1
    if grep -Eq "^$check +$row" "$work/broken-check"; then
      echo "caught: $plugin by $check ($row)"
    else
      echo "NOT caught: $plugin by $check, expected $row:"
      cat "$work/broken-check"
      status=1
    fi
  done <<'TABLE'
conforming exports pass
fifthExport exports warn
markerResult notify-frame fail
exceptionEscapes notify-frame fail
nullCallCrash notify-frame fail
boxOverrun writes fail
keepsJobPointer no-state fail
leakOnLoad load-unload fail
hangsInExit init-exit fail +did not end within 5 s
writesIntoJob writes fail
countsCalls no-state fail
infoWritesTail info fail
exitsInNotify writes fail
sharesTextBuffer threads fail
staysLoaded load-unload fail
infoSkipsSdkCheck info fail
infoFillsFirst info fail
noRecipientIsOne notify-frame fail
replacesBox writes fail
deliversToAll writes fail
trustsListLength bad-lengths fail
readsPastTable writes fail
chatty init-exit pass
abortsInInfo info fail
TABLE
  return $status
}

check "project built" build_project
check "installed into a temporary prefix" cmake --install "$build" --prefix "$prefix"
check "installed SDK files present" installed_files_present
check "every installed header compiles on its own" headers_stand_alone
check "job-option table in the installed library" job_option_table_in_library
check "example configured with find_package" configure_example
check "example built without warnings" build_example_without_warnings
check "example exports exactly its four functions" example_exports_four
check "installed kxhost info accepts the example" kxhost_info_of_example
check "installed kxhost notify logs through the example" kxhost_notify_through_example
check "installed kxhost finds the installed module" kxhost_info_of_installed_module
check "installed kxhost check passes the example" kxhost_check_passes_example
check "installed kxhost check passes the installed module" kxhost_check_passes_installed_module
check "broken plug-ins built against the installed SDK" configure_and_build_broken_plugins
check "installed kxhost check catches each broken plug-in" kxhost_check_catches_broken_plugins

echo "sdk: $passed passed, $failed failed"
[ $failed -eq 0 ]
