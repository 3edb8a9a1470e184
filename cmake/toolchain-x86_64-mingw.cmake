# Cross toolchain for the 64-bit builds of the same sources.
set(TAVRELLO_ARCH x64)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAVRELLO_MINGW_TRIPLET x86_64-w64-mingw32)
set(TAVRELLO_WINE_PE_FOLDER x86_64-windows)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
