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

set(COMSVC_CROSS_TESTS
  core/document_arena_test core/utf8_test core/value_test
  text/string_builder_test
  digest/md5_test digest/md5_file_large_test
  json/json_reader_test json/json_script_test json/wide_integer_test
  http/url_helper_test http/form_post_test
  platform/code_page_test platform/locale_test platform/dialogs_test platform/ini_settings_test)
file(GLOB COMSVC_WIN32_TESTS CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
  ${CMAKE_CURRENT_SOURCE_DIR}/*/win32/*_test.cpp)
foreach(file IN LISTS COMSVC_WIN32_TESTS)
  string(REGEX REPLACE "\\.cpp$" "" test ${file})
  list(APPEND COMSVC_CROSS_TESTS ${test})
endforeach()

file(GLOB support_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/win32/*.cpp)
add_library(comsvc_cross_test_support STATIC ${support_sources}
  support/temp_dir.cpp support/reference_md5.cpp)
target_include_directories(comsvc_cross_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(comsvc_cross_test_support PUBLIC GTest::gtest comsvc_internal bcrypt ws2_32)

foreach(test IN LISTS COMSVC_CROSS_TESTS)
  if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${test}.cpp)
    continue()
  endif()
  string(REGEX MATCH "^[a-z]+" module ${test})
  get_filename_component(name ${test} NAME)
  set(target test_${module}_${name})
  add_executable(${target} ${test}.cpp)
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
  if(test MATCHES "/win32/|dialogs_test$")
    set(serial TRUE)
  endif()
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${module}" TIMEOUT 120 RUN_SERIAL ${serial})
endforeach()
