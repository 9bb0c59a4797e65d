# What the library itself needs: threads, the dynamic loader (the module's
# own file), and X11 with Xft for the notice window when there is a desktop
# to draw on (client-side fonts, so Chinese text renders with any installed
# font that has it).
find_package(Threads REQUIRED)

find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND AND NOT WIN32 AND NOT EMSCRIPTEN)
  pkg_check_modules(COMSVC_X11_LIBS QUIET x11 xft)
endif()
option(COMSVC_X11 "Draw the notice window on X11 (headless without it)" ${COMSVC_X11_LIBS_FOUND})
if(COMSVC_X11)
  pkg_check_modules(COMSVC_X11_LIBS REQUIRED IMPORTED_TARGET GLOBAL x11 xft)
endif()

# Independent libraries used as test, benchmark and fuzzing peers, never by
# the library: OpenSSL's MD5, RapidJSON, nlohmann::json, cpp-httplib, libcurl.
# A cross build tests against the target's own services instead.
if((COMSVC_TESTS OR COMSVC_BENCH OR COMSVC_FUZZ) AND NOT CMAKE_CROSSCOMPILING)
  include(${CMAKE_CURRENT_LIST_DIR}/peers.cmake)
endif()
