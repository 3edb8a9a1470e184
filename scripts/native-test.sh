#!/usr/bin/env bash
# Builds the native project (the local service and its tests, the platform-neutral core and its
# tests under ASan and UBSan) with the machine's own compilers into build/native (or
# $TAVRELLO_BUILD_DIR/native) and runs its tests, then runs every fuzz target for a few seconds
# (TAVRELLO_FUZZ_SECONDS, default 5; 0 skips them). Extra arguments go to ctest (for example
# -R service).
set -euo pipefail
repo_root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${TAVRELLO_BUILD_DIR:-$repo_root/build}/native

source "$repo_root/scripts/arches.sh"
install_dependencies

# The native compilers, whatever the environment says for the cross build.
CC=${TAVRELLO_NATIVE_CC:-gcc} CXX=${TAVRELLO_NATIVE_CXX:-g++} \
    cmake -S "$repo_root/native" -B "$build_dir" -DTAVRELLO_WERROR=ON >/dev/null
cmake --build "$build_dir" --parallel 2
ctest --test-dir "$build_dir" --output-on-failure --timeout 300 "$@"

fuzz_seconds=${TAVRELLO_FUZZ_SECONDS:-5}
if [ "$fuzz_seconds" != "0" ]; then
    "$repo_root/scripts/fuzz.sh" "$fuzz_seconds"
fi
