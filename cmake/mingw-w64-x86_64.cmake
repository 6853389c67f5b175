# Cross-compilation to 64-bit Windows with Debian's mingw-w64 toolchain.
# Usage: cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OBZ_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread model gives the standard library's threads and mutexes.
find_program(CMAKE_C_COMPILER NAMES ${OBZ_MINGW_TRIPLE}-gcc-posix ${OBZ_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${OBZ_MINGW_TRIPLE}-g++-posix ${OBZ_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${OBZ_MINGW_TRIPLE}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${OBZ_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows programs built here run under Wine on the build machine.
find_program(OBZ_WINE NAMES wine wine64)
if(OBZ_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${OBZ_WINE})
endif()
