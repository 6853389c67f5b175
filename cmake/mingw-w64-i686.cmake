# Cross-compilation to 32-bit Windows with Debian's mingw-w64 toolchain.
# Usage: cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(OBZ_MINGW_TRIPLE i686-w64-mingw32)
# 32-bit programs need wine32 (Debian's wine32:i386); `wine` starts them.
set(OBZ_WINE_LOADERS wine)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
