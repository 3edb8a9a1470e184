# What every CMake project of this repository shares (the Windows build at the root, native/ and
# tests/fuzz/): the C++ standard, the default build type, where programs go and the warning
# policy. A project that wants another default build type sets TAVRELLO_DEFAULT_BUILD_TYPE
# before it includes this file.
if(NOT CMAKE_BUILD_TYPE)
    if(NOT TAVRELLO_DEFAULT_BUILD_TYPE)
        set(TAVRELLO_DEFAULT_BUILD_TYPE RelWithDebInfo)
    endif()
    set(CMAKE_BUILD_TYPE ${TAVRELLO_DEFAULT_BUILD_TYPE})
endif()

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# Warnings are errors in every build: the main job, the tests and CI build alike.
option(TAVRELLO_WERROR "Treat compiler warnings as errors" ON)
add_compile_options(-Wall -Wextra)
if(TAVRELLO_WERROR)
    add_compile_options(-Werror)
endif()
