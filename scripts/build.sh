#!/usr/bin/env bash
# Configures and builds both Windows architectures from the same sources: the 64-bit build
# into build/x64 and the 32-bit deliverables into build/x86 (under $TAVRELLO_BUILD_DIR when
# set). The 32-bit setup carries the 64-bit Corvane.dll, so the 64-bit build goes first.
# Extra arguments go to both cmake --build runs (for example --target Zephlist).
set -euo pipefail
repo_root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${TAVRELLO_BUILD_DIR:-$repo_root/build}

source "$repo_root/scripts/arches.sh"
install_dependencies

build_arch() {
    local arch=$1 toolchain=$2
    shift 2
    echo "build: the $arch build in $build_dir/$arch"
    cmake -S "$repo_root" -B "$build_dir/$arch" -DTAVRELLO_WERROR=ON \
        -DCMAKE_TOOLCHAIN_FILE="$repo_root/cmake/$toolchain" "$@" >/dev/null
}
build_arch x64 toolchain-x86_64-mingw.cmake
cmake --build "$build_dir/x64" --parallel "$(nproc)" "${@}"
build_arch x86 toolchain-i686-mingw.cmake -DTAVRELLO_X64_CORVANE="$build_dir/x64/bin/Corvane.dll"
cmake --build "$build_dir/x86" --parallel "$(nproc)" "${@}"
