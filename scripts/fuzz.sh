#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for a bounded time on a copy of its
# seed corpus (the committed corpus is never changed). Any crash, sanitizer
# report or broken invariant fails the run; its input is kept in the build
# folder. Ends with executions per second and total executions per target.
#
#   KX_FUZZ_SECONDS   seconds per target (default 60)
#   KX_FUZZ_TARGETS   targets to run (default: all four)
#   KX_FUZZ_BUILD_DIR build folder (default build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${KX_FUZZ_SECONDS:-60}
build_dir=${KX_FUZZ_BUILD_DIR:-build-fuzz}
read -r -a targets <<< "${KX_FUZZ_TARGETS:-appendToMessageBoxFuzzer pNotifyFuzzer jobIDTextFuzzer kxhostInputFuzzer}"

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++ -DKX_SANITIZE=address,undefined -DKX_BUILD_FUZZERS=ON \
      -DKX_BUILD_TESTS=OFF -DKX_BUILD_BENCHMARKS=OFF
cmake --build "$build_dir" -j2 --target "${targets[@]}"

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:allow_user_segv_handler=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:report_error_type=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-qt.supp:print_suppressions=0"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts="$PWD/$build_dir/fuzz-artifacts"
mkdir -p "$artifacts"

summary=()
failed=0
for target in "${targets[@]}"; do
  corpus="$work/$target"
  cp -r "fuzz/corpus/$target" "$corpus"
  output="$work/$target.log"
  echo "== $target: ${seconds} s"
  status=0
  "$build_dir/fuzz/$target" "$corpus" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$artifacts/$target-" -rss_limit_mb=4096 > "$output" 2>&1 || status=$?
  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$output" || true
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$output")
  per_second=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$output")
  if [ "$status" -ne 0 ]; then
    failed=1
    tail -n 60 "$output"
    echo "!! $target failed (exit $status); input kept in $artifacts"
    summary+=("$(printf '%-26s FAILED (exit %s)' "$target" "$status")")
  else
    summary+=("$(printf '%-26s %10s exec/s %12s executions' "$target" "${per_second:-?}" "${executions:-?}")")
  fi
done

echo "== fuzzing summary (${seconds} s per target)"
printf '%s\n' "${summary[@]}"
exit "$failed"
