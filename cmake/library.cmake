# The library: one object library per module of src/, each listing its
# sources and the modules it uses, combined into one static library `comsvc`
# (comsvc::comsvc), the only library installed.
#
# The layers read one way: core, then the operating-system seam (os), then
# the legacy runtime rules (runtime), then the services, then the command
# line. The build holds every module to it: a module sees, under src/, only
# its own folder and the folders of the modules it uses, directly or
# through others (a folder of links in the build tree stands in for src/),
# so an include that skips a layer does not compile. The seam sees no public
# header either: it speaks the systems' own terms, not the library's.
#
# Public headers live in include/comsvc/ (plus the generated version.h).
# The tests, benchmarks and fuzzers of this repository see all of src/
# through `comsvc_internal`; the command line uses the public API and the
# seam's console functions (see CMakeLists.txt).

set(COMSVC_GENERATED_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${COMSVC_GENERATED_INCLUDE_DIR}/comsvc/version.h @ONLY)

# What users include, as <comsvc/NAME>; comsvc.h includes all but the
# testing ones, and a test compiles each alone.
set(COMSVC_PUBLIC_HEADERS
  code_page.h comsvc.h dialogs.h folder_locations.h form_post.h ini_settings.h json_located.h json_path.h
  json_reader.h json_script.h json_script_events.h json_script_lint.h locale.h md5_digest.h md5_function.h message_loop.h message_window.h runtime_error.h string_builder.h
  url_helper.h utf8.h value.h value_text.h
  testing/scripted_dialogs.h)

add_library(comsvc_headers INTERFACE)
target_include_directories(comsvc_headers INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<BUILD_INTERFACE:${COMSVC_GENERATED_INCLUDE_DIR}>)
target_compile_features(comsvc_headers INTERFACE cxx_std_20)

# comsvc_view(TARGET MODULE...): TARGET sees src/MODULE/ as "MODULE/…" for
# each MODULE given, and nothing else of src/.
function(comsvc_view target)
  set(view ${PROJECT_BINARY_DIR}/module-views/${target})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view})
  foreach(module IN LISTS ARGN)
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${module} ${view}/${module} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PRIVATE ${view})
endfunction()

# comsvc_module(NAME SOURCES file... [USES module...]): files relative to src/.
function(comsvc_module name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;USES")
  list(TRANSFORM arg_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/src/)
  add_library(comsvc_${name} OBJECT ${arg_SOURCES})
  set(visible ${name})
  foreach(used IN LISTS arg_USES)
    get_property(used_visible GLOBAL PROPERTY COMSVC_VISIBLE_${used})
    list(APPEND visible ${used_visible})
    target_link_libraries(comsvc_${name} PUBLIC comsvc_${used})
  endforeach()
  list(REMOVE_DUPLICATES visible)
  set_property(GLOBAL PROPERTY COMSVC_VISIBLE_${name} ${visible})
  comsvc_view(comsvc_${name} ${visible})
  if(NOT name STREQUAL "os")
    target_link_libraries(comsvc_${name} PUBLIC comsvc_headers)
  endif()
  set_property(GLOBAL APPEND PROPERTY COMSVC_MODULES ${name})
endfunction()

# The seam's backend: a folder of src/os/ per operating system, and for the
# desktop's windows on POSIX systems x11/ or, without X11, headless/. A build
# with emscripten runs in a web page: web/, whose boxes are the page's.
if(WIN32)
  set(COMSVC_OS_BACKEND win32)
  set(COMSVC_DESKTOP_BACKEND "")
elseif(EMSCRIPTEN)
  set(COMSVC_OS_BACKEND web)
  set(COMSVC_DESKTOP_BACKEND "")
else()
  set(COMSVC_OS_BACKEND posix)
  if(COMSVC_X11)
    set(COMSVC_DESKTOP_BACKEND x11)
  else()
    set(COMSVC_DESKTOP_BACKEND headless)
  endif()
endif()
set(comsvc_backend_posix
  binary_file.cpp console.cpp desktop_boxes.cpp event_wait.cpp files.cpp known_folders.cpp locale_source.cpp
  modules.cpp socket.cpp system_profile.cpp)
set(comsvc_backend_win32
  binary_file.cpp console.cpp desktop_boxes.cpp event_wait.cpp files.cpp form_window.cpp known_folders.cpp
  locale_source.cpp modules.cpp socket.cpp system_profile.cpp)
set(comsvc_backend_web
  binary_file.cpp console.cpp desktop_boxes.cpp event_wait.cpp files.cpp form_window.cpp known_folders.cpp
  locale_source.cpp modules.cpp socket.cpp)
set(comsvc_backend_x11 form_window.cpp)
set(comsvc_backend_headless form_window.cpp)
set(os_sources os/binary_file.cpp os/error.cpp)
# A page, like a POSIX system, keeps no INI files of its own.
if(EMSCRIPTEN)
  list(APPEND os_sources os/posix/system_profile.cpp)
endif()
foreach(backend IN ITEMS ${COMSVC_OS_BACKEND} ${COMSVC_DESKTOP_BACKEND})
  set(files ${comsvc_backend_${backend}})
  list(TRANSFORM files PREPEND os/${backend}/)
  list(APPEND os_sources ${files})
endforeach()

comsvc_module(core SOURCES core/document_arena.cpp core/nodes.cpp core/runtime_error.cpp core/utf8.cpp core/value.cpp)
comsvc_module(os SOURCES ${os_sources})
target_link_libraries(comsvc_os PUBLIC Threads::Threads ${CMAKE_DL_LIBS})
if(WIN32)
  # Unicode window classes and the wide API by default; no min/max macros.
  target_compile_definitions(comsvc_os PRIVATE UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
endif()
if(COMSVC_X11)
  target_link_libraries(comsvc_os PUBLIC PkgConfig::COMSVC_X11_LIBS)
endif()
comsvc_module(runtime
  SOURCES runtime/code_page.cpp runtime/code_page_tables.cpp runtime/dialogs.cpp runtime/locale.cpp
          runtime/loop_events.cpp runtime/message_loop.cpp runtime/scripted_dialogs.cpp runtime/value_text.cpp
  USES core os)
comsvc_module(text SOURCES text/string_builder.cpp USES core runtime)
comsvc_module(json
  SOURCES json/json_located.cpp json/json_number.cpp json/json_path.cpp json/json_reader.cpp json/json_reader_core.cpp
          json/json_script.cpp json/near_names.cpp json/script_commands.cpp json/script_lint.cpp
  USES core runtime text)
comsvc_module(digest SOURCES digest/md5_digest.cpp digest/md5_function.cpp USES core runtime os)
comsvc_module(socket SOURCES socket/socket_error.cpp socket/tcp_socket.cpp USES core runtime os)
comsvc_module(http SOURCES http/form_post.cpp http/url_helper.cpp USES core runtime text json socket)
comsvc_module(ini SOURCES ini/ini_profile.cpp ini/ini_settings.cpp USES core runtime os)
comsvc_module(window SOURCES window/message_window.cpp USES core runtime os)
comsvc_module(folders SOURCES folders/folder_locations.cpp USES core runtime os)

add_library(comsvc STATIC)
add_library(comsvc::comsvc ALIAS comsvc)
get_property(COMSVC_MODULES GLOBAL PROPERTY COMSVC_MODULES)
foreach(module IN LISTS COMSVC_MODULES)
  target_sources(comsvc PRIVATE $<TARGET_OBJECTS:comsvc_${module}>)
endforeach()
target_include_directories(comsvc PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<BUILD_INTERFACE:${COMSVC_GENERATED_INCLUDE_DIR}>
  $<INSTALL_INTERFACE:include>)
target_compile_features(comsvc PUBLIC cxx_std_20)
target_link_libraries(comsvc PUBLIC Threads::Threads ${CMAKE_DL_LIBS})
if(WIN32)
  target_link_libraries(comsvc PUBLIC ws2_32 user32 gdi32 shell32 ole32 oleaut32)
endif()
if(COMSVC_X11)
  target_link_libraries(comsvc PUBLIC PkgConfig::COMSVC_X11_LIBS)
endif()
set_target_properties(comsvc PROPERTIES EXPORT_NAME comsvc)

# The library with all of its private headers: for the tests, benchmarks
# and fuzzers of this repository.
add_library(comsvc_internal INTERFACE)
target_include_directories(comsvc_internal INTERFACE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(comsvc_internal INTERFACE comsvc)
