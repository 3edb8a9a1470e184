# Cross toolchain for the 32-bit Windows deliverables.
set(TAVRELLO_ARCH x86)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TAVRELLO_MINGW_TRIPLET i686-w64-mingw32)
set(TAVRELLO_WINE_PE_FOLDER i386-windows)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
