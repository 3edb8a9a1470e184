#!/usr/bin/env bash
# Builds everything and runs every test: first the native ones (the local service, and the
# platform-neutral core under sanitizers), then the Windows ones under Wine, with a virtual
# display for the windows. Extra arguments go to the Wine ctest run (for example -R settings).
set -euo pipefail
repo_root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${TAVRELLO_BUILD_DIR:-$repo_root/build}

"$repo_root/scripts/build.sh"
"$repo_root/scripts/native-test.sh"

export TAVRELLO_WINEPREFIX=${TAVRELLO_WINEPREFIX:-$build_dir/wine-prefix}
source "$repo_root/scripts/wine-env.sh"
source "$repo_root/scripts/display.sh"

start_virtual_display
trap 'stop_wine; stop_virtual_display' EXIT

ensure_wine_prefix
# One wineserver for the whole run, its output detached: otherwise every test waits for the
# helper processes that a fresh wineserver starts.
wineserver -p
wine cmd /c exit >/dev/null 2>&1 </dev/null || true

ctest --test-dir "$build_dir" --output-on-failure --timeout 300 "$@"
