#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, test and run the project.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev qt6-base-dev qtbase5-dev
          libgtest-dev libgmock-dev libbenchmark-dev binutils python3
          nlohmann-json3-dev libelf-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
