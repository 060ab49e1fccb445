# Sourced: the wine and cache settings shared by the Windows scripts.
# KX_WIN_CACHE holds Qt Core, GoogleTest and the wine prefix; later runs reuse it.
export KX_WIN_CACHE="${KX_WIN_CACHE:-/var/cache/kxnotify/win64}"
export KX_WIN_PREFIX="${KX_WIN_PREFIX:-$KX_WIN_CACHE/prefix}"
export WINEPREFIX="${WINEPREFIX:-$KX_WIN_CACHE/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export DISPLAY=
# Debian's wine64 installs its loader off PATH.
if [ -z "${KX_WINE:-}" ]; then
  if [ -x /usr/lib/wine/wine64 ]; then KX_WINE=/usr/lib/wine/wine64; else KX_WINE=wine64; fi
fi
export KX_WINE
kx_gcc_dir="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")"
# The build tree's own DLLs are found through the directories the tests add to
# WINEPATH; these are the toolchain's and Qt's.
kx_winepath=""
for kx_dir in "$KX_WIN_PREFIX/bin" "$kx_gcc_dir" /usr/x86_64-w64-mingw32/lib; do
  kx_winepath="${kx_winepath:+$kx_winepath;}Z:${kx_dir//\//\\}"
done
export WINEPATH="${WINEPATH:+$WINEPATH;}$kx_winepath"
unset kx_gcc_dir kx_winepath kx_dir
