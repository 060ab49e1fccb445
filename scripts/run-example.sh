#!/usr/bin/env bash
# Sets up the machine, builds the project and runs kxhost on the bundled example farm.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target kxhost kxNotifyKXMessage64
build/tools/kxhost/kxhost notify examples/farm.json --job examples/jobs.json
