#!/usr/bin/env bash
# Builds everything against Qt 5.15 and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-qt5 -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKX_USE_QT5=ON
cmake --build build-qt5 -j2
ctest --test-dir build-qt5 --output-on-failure -j2
