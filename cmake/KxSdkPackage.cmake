# The CMake package of the installed SDK: find_package(kxNotifySDK) gives
# kxNotify::sdk (which brings kxNotify::kxShared and Qt Core along).
include(CMakePackageConfigHelpers)
set(KX_SDK_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/kxNotifySDK")
if(KX_USE_QT5)
  set(KX_SDK_QT_PACKAGE Qt5)
  set(KX_SDK_QT_VERSION 5.15)
else()
  set(KX_SDK_QT_PACKAGE Qt6)
  set(KX_SDK_QT_VERSION "")
endif()
configure_package_config_file(cmake/kxNotifySDKConfig.cmake.in
  "${CMAKE_CURRENT_BINARY_DIR}/kxNotifySDKConfig.cmake"
  INSTALL_DESTINATION "${KX_SDK_CMAKE_DIR}"
  PATH_VARS KX_PLUGIN_INSTALL_DIR)
# The records change with a major version only.
write_basic_package_version_file("${CMAKE_CURRENT_BINARY_DIR}/kxNotifySDKConfigVersion.cmake"
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(EXPORT kxNotifySDKTargets NAMESPACE kxNotify:: DESTINATION "${KX_SDK_CMAKE_DIR}")
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/kxNotifySDKConfig.cmake"
              "${CMAKE_CURRENT_BINARY_DIR}/kxNotifySDKConfigVersion.cmake"
        DESTINATION "${KX_SDK_CMAKE_DIR}")
