# Cross-compilation to 64-bit Windows with Debian's mingw-w64 toolchain.
# Usage: cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(OBZ_MINGW_TRIPLE x86_64-w64-mingw32)
# Where wine32 is installed, `wine` starts 32-bit programs: the 64-bit
# loader by its own name first.
set(OBZ_WINE_LOADERS /usr/lib/wine/wine64 wine64 wine)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
