# Cross-builds 64-bit Windows binaries with Debian's mingw-w64 (posix threads)
# and runs them under wine, so ctest and test discovery work unchanged.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KX_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${KX_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${KX_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${KX_MINGW_TRIPLE}-objdump CACHE FILEPATH "")

# KX_WIN_PREFIX: where scripts/build-windows-deps.sh installed Qt Core and GoogleTest.
if(NOT DEFINED KX_WIN_PREFIX AND DEFINED ENV{KX_WIN_PREFIX})
  set(KX_WIN_PREFIX "$ENV{KX_WIN_PREFIX}")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${KX_MINGW_TRIPLE} ${KX_WIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Try-compiles and the Qt build see the same settings.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KX_WIN_PREFIX)

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
set(CMAKE_STRIP ${KX_MINGW_TRIPLE}-strip CACHE FILEPATH "")
