#!/usr/bin/env bash
# Builds Qt Core (from Debian's own Qt source, the version of the host tools)
# and GoogleTest for mingw-w64 into $KX_WIN_PREFIX, once; later runs reuse them.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/windows-env.sh"
toolchain="$here/../cmake/mingw-w64-x86_64.cmake"
jobs="${KX_JOBS:-2}"
mkdir -p "$KX_WIN_CACHE"

qt_version="$(dpkg-query -W -f='${Version}' qt6-base-dev-tools | sed 's/[+~-].*//')"
if [ ! -f "$KX_WIN_PREFIX/lib/cmake/Qt6Core/Qt6CoreConfig.cmake" ]; then
  echo "windows-deps: building Qt Core $qt_version for mingw-w64 (about 10 minutes on 2 cores)"
  src_root="$KX_WIN_CACHE/src"
  mkdir -p "$src_root"
  qt_src="$(ls -d "$src_root"/qt6-base-"$qt_version"*/ 2>/dev/null | head -n1 || true)"
  if [ -z "$qt_src" ]; then
    (cd "$src_root" && apt-get source "qt6-base=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)")
    qt_src="$(ls -d "$src_root"/qt6-base-"$qt_version"*/ | head -n1)"
  fi
  rm -rf "$KX_WIN_CACHE/qt-build"
  # Core only: every module and optional feature Core does not need is off.
  # Debian's source has no bundled zlib; the mingw zlib is linked and shipped.
  cmake -S "$qt_src" -B "$KX_WIN_CACHE/qt-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$KX_WIN_PREFIX" \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DQT_GENERATE_SBOM=OFF \
    -DFEATURE_gui=OFF -DFEATURE_widgets=OFF -DFEATURE_network=OFF -DFEATURE_sql=OFF \
    -DFEATURE_testlib=OFF -DFEATURE_xml=OFF -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_icu=OFF -DFEATURE_zstd=OFF -DFEATURE_glib=OFF -DFEATURE_openssl=OFF \
    -DFEATURE_system_zlib=ON -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF \
    -DFEATURE_sql_sqlite=OFF -DFEATURE_mimetype_database=OFF -DFEATURE_permissions=OFF \
    -DFEATURE_qmake=OFF -DFEATURE_androiddeployqt=OFF -DFEATURE_windeployqt=OFF \
    -DFEATURE_pkg_config=OFF -DFEATURE_precompile_header=OFF
  nice -n 10 cmake --build "$KX_WIN_CACHE/qt-build" -j"$jobs"
  cmake --install "$KX_WIN_CACHE/qt-build"
  rm -rf "$KX_WIN_CACHE/qt-build"
fi

if [ ! -f "$KX_WIN_PREFIX/lib/cmake/GTest/GTestConfig.cmake" ]; then
  echo "windows-deps: building GoogleTest for mingw-w64"
  rm -rf "$KX_WIN_CACHE/gtest-build"
  cmake -S /usr/src/googletest -B "$KX_WIN_CACHE/gtest-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$KX_WIN_PREFIX" -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=ON
  nice -n 10 cmake --build "$KX_WIN_CACHE/gtest-build" -j"$jobs"
  cmake --install "$KX_WIN_CACHE/gtest-build"
  rm -rf "$KX_WIN_CACHE/gtest-build"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "windows-deps: creating the wine prefix"
  # A missing 32-bit rundll32.exe makes wineboot complain; that is harmless.
  "$KX_WINE" wineboot -i >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w 2>/dev/null || wineserver -w 2>/dev/null || true
fi
echo "windows-deps: ready in $KX_WIN_PREFIX"
