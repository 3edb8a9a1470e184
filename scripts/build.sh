#!/usr/bin/env bash
# Configures and builds everything into build/ (or $TAVRELLO_BUILD_DIR).
set -euo pipefail
repo_root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${TAVRELLO_BUILD_DIR:-$repo_root/build}

"$repo_root/scripts/install-deps.sh"

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S "$repo_root" -B "$build_dir" -DTAVRELLO_WERROR=$werror >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)" "$@"
