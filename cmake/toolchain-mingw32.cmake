# Cross build for 32-bit Windows (i686) with mingw-w64; see toolchain-mingw.cmake.
set(COMSVC_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
