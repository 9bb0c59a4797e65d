# Cross build for 64-bit Windows (x86_64) with mingw-w64; see toolchain-mingw.cmake.
set(COMSVC_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
