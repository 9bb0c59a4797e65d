# The platform module's operating-system backend: src/platform/*.cpp hold the
# rules every platform shares, src/platform/<backend>/*.cpp the calls into
# the system.
if(WIN32)
  set(COMSVC_PLATFORM_BACKEND win32)
else()
  set(COMSVC_PLATFORM_BACKEND posix)
endif()
file(GLOB COMSVC_BACKEND_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/platform/${COMSVC_PLATFORM_BACKEND}/*.cpp)
target_sources(comsvc_platform PRIVATE ${COMSVC_BACKEND_SOURCES})

find_package(Threads REQUIRED)
target_link_libraries(comsvc_platform INTERFACE Threads::Threads ${CMAKE_DL_LIBS})
if(WIN32)
  # Unicode window classes and the wide API by default; no min/max macros.
  target_compile_definitions(comsvc_platform PUBLIC UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
  target_link_libraries(comsvc_platform INTERFACE ws2_32 user32 gdi32 shell32 ole32 oleaut32)
else()
  # The notice window draws on X11 with Xft (client-side fonts, so Chinese
  # text renders with any installed font that has it).
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(COMSVC_X11 REQUIRED IMPORTED_TARGET GLOBAL x11 xft)
  target_link_libraries(comsvc_platform PUBLIC PkgConfig::COMSVC_X11)
endif()
