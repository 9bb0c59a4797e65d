# Tests of a cross build (Windows, run under wine). GoogleTest is built for
# the target from Debian's sources. Suites that need a Linux peer (a child
# process through posix_spawn, an X server, zenity, XDG files, cpp-httplib)
# are left out; tests/<module>/win32/ holds their Windows counterparts, and
# tests/support/win32/ the Windows peers of the shared suites (the system's
# own MD5 in OpenSSL's place).
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

include(${CMAKE_CURRENT_SOURCE_DIR}/suites.cmake)

add_library(comsvc_cross_test_support STATIC
  support/win32/bcrypt_md5.cpp support/win32/local_channels.cpp support/temp_dir.cpp support/reference_md5.cpp)
target_include_directories(comsvc_cross_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(comsvc_cross_test_support PUBLIC GTest::gtest comsvc_internal bcrypt ws2_32)

foreach(suite IN LISTS COMSVC_SUITES_EVERYWHERE COMSVC_SUITES_WINDOWS)
  string(REGEX MATCH "^[a-z]+" module ${suite})
  get_filename_component(name ${suite} NAME)
  set(target test_${module}_${name})
  add_executable(${target} ${suite}_test.cpp)
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(${target} PRIVATE COMSVC_BINARY="$<TARGET_FILE:comsvc_exe>")
  target_link_libraries(${target} PRIVATE GTest::gtest_main GTest::gmock comsvc_cross_test_support)
  if(module STREQUAL "cli")
    target_link_libraries(${target} PRIVATE comsvc_cli_lib)
    add_dependencies(${target} comsvc_exe)
  endif()
  # The Windows suites and the terminal boxes' (which show a notice window)
  # open windows and sockets: one at a time, so that a first window does not
  # wait behind other programs' start-up.
  set(serial FALSE)
  if(suite MATCHES "/win32/|dialogs$")
    set(serial TRUE)
  endif()
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${module}" TIMEOUT 120 RUN_SERIAL ${serial})
endforeach()
