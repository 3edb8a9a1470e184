# Shared part of the two cross toolchains (mingw-w64, posix threads). The including file sets
# TAVRELLO_ARCH (x86 or x64), CMAKE_SYSTEM_PROCESSOR, TAVRELLO_MINGW_TRIPLET and
# TAVRELLO_WINE_PE_FOLDER (the folder of Wine's Windows-side files for that architecture).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TAVRELLO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVRELLO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVRELLO_MINGW_TRIPLET}-windres)
set(TAVRELLO_WIDL ${TAVRELLO_MINGW_TRIPLET}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVRELLO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# widl reads the Windows IDL files that Wine's development package ships and imports
# stdole2.tlb of the target architecture, which the multiarch Wine packages keep in one of
# several library folders.
set(TAVRELLO_WIDL_INCLUDE_DIR /usr/include/wine/wine/windows)
file(GLOB TAVRELLO_WIDL_TLB_CANDIDATES /usr/lib/*/wine/${TAVRELLO_WINE_PE_FOLDER}/stdole2.tlb)
list(SORT TAVRELLO_WIDL_TLB_CANDIDATES)
if(TAVRELLO_WIDL_TLB_CANDIDATES)
    list(GET TAVRELLO_WIDL_TLB_CANDIDATES 0 stdole_file)
    get_filename_component(TAVRELLO_WIDL_LIBRARY_DIR ${stdole_file} DIRECTORY)
else()
    set(TAVRELLO_WIDL_LIBRARY_DIR /usr/lib/wine/${TAVRELLO_WINE_PE_FOLDER})
endif()

# The runtime libraries (libstdc++, libgcc, libgcc_eh) of the same compiler built for the win32
# thread model, which the deliverables link in place of the posix ones: those pull in the POSIX
# thread library (a fifth of each program) for locks that neither program needs, where the win32
# ones use the system's own. The compilers stay the posix ones, which GoogleTest and the tests'
# threads need; the two runtimes share every header and interface the product uses.
execute_process(COMMAND ${TAVRELLO_MINGW_TRIPLET}-g++-win32 -print-file-name=libstdc++.a
    OUTPUT_VARIABLE win32_runtime OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(IS_ABSOLUTE "${win32_runtime}" AND EXISTS "${win32_runtime}")
    get_filename_component(TAVRELLO_WIN32_RUNTIME_DIR ${win32_runtime} DIRECTORY)
endif()

# GoogleTest is built from source for each architecture.
set(TAVRELLO_GOOGLETEST_DIR /usr/src/googletest)

# ctest and custom commands run the Windows binaries under Wine, in the prefix of their
# architecture.
set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/bin/env TAVRELLO_ARCH=${TAVRELLO_ARCH} ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
