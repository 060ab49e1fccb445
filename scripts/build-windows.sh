#!/usr/bin/env bash
# Cross-builds the Windows package: sets up the machine (as root), builds Qt
# Core and GoogleTest for mingw-w64 once, then the project in build-win/ and
# build-win/package/kxNotifyKXMessage64-<version>-win64.zip.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-windows.sh
bash scripts/build-windows-deps.sh
source scripts/windows-env.sh
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DKX_WIN_PREFIX="$KX_WIN_PREFIX" -DCMAKE_PREFIX_PATH="$KX_WIN_PREFIX" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DKX_BUILD_BENCHMARKS=OFF
nice -n 10 cmake --build build-win -j"${KX_JOBS:-2}"
(cd build-win && cpack -C RelWithDebInfo >/dev/null)
ls build-win/package/*.zip
