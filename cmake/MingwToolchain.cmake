# What the two mingw-w64 toolchain files share; each sets
# CMAKE_SYSTEM_PROCESSOR, OBZ_MINGW_TRIPLE and OBZ_WINE_LOADERS first.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model gives the standard library's threads and mutexes.
find_program(CMAKE_C_COMPILER NAMES ${OBZ_MINGW_TRIPLE}-gcc-posix ${OBZ_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${OBZ_MINGW_TRIPLE}-g++-posix ${OBZ_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${OBZ_MINGW_TRIPLE}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${OBZ_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows programs built here run under Wine on the build machine, through
# the loader of their own bitness.
find_program(OBZ_WINE NAMES ${OBZ_WINE_LOADERS} NO_CACHE)
if(OBZ_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${OBZ_WINE})
endif()
