# The library: one object library per module (src/NAME/*.cpp), each with the
# usage requirements it needs and the modules below it, combined into one
# static library `comsvc` (comsvc::comsvc), the only library installed.
#
# Public headers live in include/comsvc/ (plus the generated version.h);
# src/ is private to the library, its tests, benchmarks, fuzzers and CLI,
# which reach it through `comsvc_internal`.

set(COMSVC_GENERATED_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${COMSVC_GENERATED_INCLUDE_DIR}/comsvc/version.h @ONLY)

# The folder of operating-system primitives under src/platform/ that this
# target builds with; it may be absent or empty.
if(WIN32)
  set(COMSVC_PLATFORM_BACKEND win32 CACHE STRING "Platform backend folder under src/platform/")
else()
  set(COMSVC_PLATFORM_BACKEND posix CACHE STRING "Platform backend folder under src/platform/")
endif()

add_library(comsvc_headers INTERFACE)
target_include_directories(comsvc_headers INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<BUILD_INTERFACE:${COMSVC_GENERATED_INCLUDE_DIR}>)
target_compile_features(comsvc_headers INTERFACE cxx_std_20)

# comsvc_module(NAME SOURCES... [USES MODULE...])
function(comsvc_module name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "USES")
  add_library(comsvc_${name} OBJECT ${arg_UNPARSED_ARGUMENTS})
  target_include_directories(comsvc_${name} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(comsvc_${name} PUBLIC comsvc_headers)
  foreach(used IN LISTS arg_USES)
    target_link_libraries(comsvc_${name} PUBLIC comsvc_${used})
  endforeach()
endfunction()

function(comsvc_module_sources out)
  set(sources "")
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${dir}/*.cpp)
    list(APPEND sources ${found})
  endforeach()
  set(${out} ${sources} PARENT_SCOPE)
endfunction()

comsvc_module_sources(core_sources core)
comsvc_module(core ${core_sources})

# The notice window's X11 side (x11_*.cpp) or its headless stand-in
# (no_x11_*.cpp), whichever the build draws with.
comsvc_module_sources(platform_sources platform platform/${COMSVC_PLATFORM_BACKEND})
if(COMSVC_X11)
  list(FILTER platform_sources EXCLUDE REGEX "/no_x11_[^/]*\\.cpp$")
else()
  list(FILTER platform_sources EXCLUDE REGEX "/x11_[^/]*\\.cpp$")
endif()
comsvc_module(platform ${platform_sources} USES core)
target_link_libraries(comsvc_platform PUBLIC Threads::Threads ${CMAKE_DL_LIBS})
if(WIN32)
  # Unicode window classes and the wide API by default; no min/max macros.
  target_compile_definitions(comsvc_platform PRIVATE UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
endif()
if(COMSVC_X11)
  target_link_libraries(comsvc_platform PUBLIC PkgConfig::COMSVC_X11_LIBS)
endif()

comsvc_module_sources(text_sources text)
comsvc_module(text ${text_sources} USES core platform)
comsvc_module_sources(json_sources json)
comsvc_module(json ${json_sources} USES core platform text)
comsvc_module_sources(digest_sources digest)
comsvc_module(digest ${digest_sources} USES core platform)
comsvc_module_sources(http_sources http)
comsvc_module(http ${http_sources} USES core platform text json)

set(COMSVC_MODULES core platform text json digest http)
add_library(comsvc STATIC)
add_library(comsvc::comsvc ALIAS comsvc)
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

# The library with its private headers: for the CLI, tests, benchmarks and
# fuzzers of this repository.
add_library(comsvc_internal INTERFACE)
target_include_directories(comsvc_internal INTERFACE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(comsvc_internal INTERFACE comsvc)
