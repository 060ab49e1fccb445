#!/usr/bin/env bash
# Builds everything with AddressSanitizer (leak checking included) and
# UndefinedBehaviorSanitizer and runs every test; any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${KX_SANITIZED_BUILD_DIR:-build-asan}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++ -DKX_SANITIZE=address,undefined \
      -DKX_BUILD_BENCHMARKS=OFF
cmake --build "$build_dir" -j2
suppressions="$PWD/scripts/lsan-qt.supp"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1:allow_user_segv_handler=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:report_error_type=1"
export LSAN_OPTIONS="suppressions=$suppressions:print_suppressions=0"
ctest --test-dir "$build_dir" --output-on-failure -j2
