# One archive for a Windows build: comsvc-VERSION-win32.zip or -win64.zip
# (CPack names the system after the target's pointer size), every component
# in it, under a folder of the same name.
set(CPACK_PACKAGE_NAME comsvc)
set(CPACK_PACKAGE_VENDOR "comsvc developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Support services of a Windows macro host's component")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_SYSTEM_NAME win32)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
