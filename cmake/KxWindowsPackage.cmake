# The Windows package: one folder with kxhost.exe, the module, and every DLL
# they need (kxShared, Qt Core, zlib, the compiler's runtime), the example
# farm and a short README, zipped by CPack.

# The compiler's runtime DLLs, found where the compiler finds its libraries.
set(kx_runtime_dlls "")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll zlib1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${dll_path}" OR NOT EXISTS "${dll_path}")
    unset(dll_path)
    find_file(dll_path NAMES ${dll} PATHS /usr/${KX_MINGW_TRIPLE}/lib /usr/${KX_MINGW_TRIPLE}/bin
              NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  endif()
  if(NOT dll_path)
    message(FATAL_ERROR "The Windows package needs ${dll}, which the toolchain does not have")
  endif()
  list(APPEND kx_runtime_dlls "${dll_path}")
  unset(dll_path CACHE)
endforeach()

install(FILES $<TARGET_FILE:${KX_QT_CORE}> ${kx_runtime_dlls} DESTINATION ${CMAKE_INSTALL_BINDIR})
# The copied DLLs carry their symbols and debug information; the zip needs neither.
set(kx_copied_dlls "$<TARGET_FILE_NAME:${KX_QT_CORE}>")
foreach(dll_path IN LISTS kx_runtime_dlls)
  get_filename_component(dll_name "${dll_path}" NAME)
  list(APPEND kx_copied_dlls "${dll_name}")
endforeach()
install(CODE "
  foreach(dll ${kx_copied_dlls})
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${dll}\"
                    COMMAND_ERROR_IS_FATAL ANY)
  endforeach()")
install(FILES ${PROJECT_SOURCE_DIR}/examples/farm.json ${PROJECT_SOURCE_DIR}/examples/jobs.json
        DESTINATION examples)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/README-windows.txt DESTINATION . RENAME README.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_NAME kxNotifyKXMessage64)
set(CPACK_PACKAGE_FILE_NAME "kxNotifyKXMessage64-${PROJECT_VERSION}-win64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/package")
include(CPack)
