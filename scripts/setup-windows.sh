#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to cross-build the Windows
# package with mingw-w64 and run it under wine; run as root.
set -euo pipefail
packages=(cmake ninja-build g++ qt6-base-dev-tools qt6-base-dev libgtest-dev dpkg-dev zip unzip
          g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          mingw-w64-x86-64-dev libz-mingw-w64-dev wine64 nlohmann-json3-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# 'apt-get source qt6-base' needs source entries, which a fresh machine does not have.
src=/etc/apt/sources.list.d/kxnotify-src.sources
need_update=0
if [ ! -f "$src" ]; then
  cat > "$src" <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  need_update=1
fi
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ] || [ "$need_update" = 1 ]; then
  apt-get update
fi
if [ ${#missing[@]} -gt 0 ]; then
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
# The posix-threads compilers are the ones whose std::thread and mutex work.
for tool in gcc g++; do
  update-alternatives --set x86_64-w64-mingw32-$tool /usr/bin/x86_64-w64-mingw32-$tool-posix >/dev/null
done
