# Cross build for Windows with mingw-w64, for the processor named in
# COMSVC_MINGW_PROCESSOR (x86_64 or i686) by toolchain-mingw64.cmake or
# toolchain-mingw32.cmake. The posix thread model is the one whose C++ library
# has std::thread and std::mutex; -static keeps the compiler's runtime DLLs out
# of the picture. Test programs run under wine, through the loader of their own
# bitness: Debian's `wine` command always takes the 32-bit loader once wine32
# is installed, so each build names its loader.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${COMSVC_MINGW_PROCESSOR})
set(triple ${COMSVC_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  if(COMSVC_MINGW_PROCESSOR STREQUAL "x86_64" AND EXISTS /usr/lib/wine/wine64)
    set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
  elseif(COMSVC_MINGW_PROCESSOR STREQUAL "i686" AND EXISTS /usr/lib/wine/wine)
    set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
  else()
    set(CMAKE_CROSSCOMPILING_EMULATOR wine)
  endif()
endif()
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# mingw's g++ 12 misreads std::u16string inserts as overlapping copies
# (-Wrestrict false positives inside the standard library's headers).
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
unset(triple)
