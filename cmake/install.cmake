# Install rules in two components, one Debian package each:
#   dev: libcomsvc.a, the public headers, the CMake package and comsvc.pc
#        (package libcomsvc-dev);
#   cli: the comsvc command, its man page and bash completion (package comsvc).
# A Windows build packs both into one archive, comsvc-VERSION-win32.zip or
# -win64.zip: comsvc.exe, libcomsvc.a, the headers, the CMake package for
# mingw-w64 programs, the man page as text and a README.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(COMSVC_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/comsvc)

install(TARGETS comsvc EXPORT comsvcTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/comsvc ${COMSVC_GENERATED_INCLUDE_DIR}/comsvc
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(EXPORT comsvcTargets NAMESPACE comsvc:: DESTINATION ${COMSVC_CMAKE_DIR} COMPONENT dev)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/comsvcConfig.cmake.in
  ${PROJECT_BINARY_DIR}/comsvcConfig.cmake INSTALL_DESTINATION ${COMSVC_CMAKE_DIR})
# 0.x releases change the interface between minor versions.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/comsvcConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/comsvcConfig.cmake ${PROJECT_BINARY_DIR}/comsvcConfigVersion.cmake
  DESTINATION ${COMSVC_CMAKE_DIR} COMPONENT dev)

install(TARGETS comsvc_exe RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)

if(WIN32)
  # The man page as plain text, rendered by man-db on the build machine.
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/comsvc.txt
    COMMAND sh -c "MANWIDTH=80 man -l '${PROJECT_SOURCE_DIR}/doc/comsvc.1' > '${PROJECT_BINARY_DIR}/comsvc.txt'"
    DEPENDS ${PROJECT_SOURCE_DIR}/doc/comsvc.1 VERBATIM)
  add_custom_target(comsvc_man_text ALL DEPENDS ${PROJECT_BINARY_DIR}/comsvc.txt)
  install(FILES ${PROJECT_BINARY_DIR}/comsvc.txt ${PROJECT_SOURCE_DIR}/doc/windows/README.txt
    DESTINATION . COMPONENT cli)
  include(${CMAKE_CURRENT_LIST_DIR}/package_windows.cmake)
  return()
endif()

# pkg-config: the prefix is found from the file's own place, so that the
# same file serves an install prefix, the Debian package and an unpacked copy
# of it. Only a static library is shipped, so what it needs goes in
# Libs and Requires rather than their .private forms.
if(COMSVC_X11)
  set(COMSVC_PC_REQUIRES "x11 xft")
else()
  set(COMSVC_PC_REQUIRES "")
endif()
set(COMSVC_PC_LIBS "-lcomsvc -pthread")
if(CMAKE_DL_LIBS)
  string(APPEND COMSVC_PC_LIBS " -l${CMAKE_DL_LIBS}")
endif()
file(RELATIVE_PATH COMSVC_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" COMSVC_PC_TO_PREFIX "${COMSVC_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/comsvc.pc.in ${PROJECT_BINARY_DIR}/comsvc.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/comsvc.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

install(FILES ${PROJECT_SOURCE_DIR}/doc/comsvc.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cli)
install(FILES ${PROJECT_SOURCE_DIR}/doc/comsvc.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions RENAME comsvc COMPONENT cli)

set(CPACK_PACKAGE_NAME comsvc)
set(CPACK_PACKAGE_VENDOR "comsvc developers")
set(CPACK_PACKAGE_CONTACT "comsvc developers <comsvc@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Support services of a Windows macro host's component, for Linux")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_COMPONENTS_ALL dev cli)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libcomsvc-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "comsvc C++20 static library, headers, CMake package and pkg-config file")
set(CPACK_DEBIAN_CLI_PACKAGE_NAME comsvc)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_CLI_PACKAGE_SHLIBDEPS ON)
set(CPACK_COMPONENT_CLI_DESCRIPTION "comsvc command line: JSON, scripts, MD5, URLs, form posts, INI settings")
set(COMSVC_DEV_DEPENDS "libc6-dev, libstdc++-12-dev | libstdc++-dev")
if(COMSVC_X11)
  string(APPEND COMSVC_DEV_DEPENDS ", libx11-dev, libxft-dev, pkgconf | pkg-config")
endif()
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS ${COMSVC_DEV_DEPENDS})
include(CPack)
