# Cross build for 64-bit Windows with mingw-w64. The posix thread model is
# the one whose C++ library has std::thread and std::mutex; -static keeps the
# compiler's runtime DLLs out of the picture. Test programs run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# mingw's g++ 12 misreads std::u16string inserts as overlapping copies
# (-Wrestrict false positives inside the standard library's headers).
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
