#!/usr/bin/env bash
# Runs the Windows tests of one built tree under Wine: its architecture's prefix (made on first
# use, inside the tree), one detached wineserver for the whole run, and a virtual display of
# its own unless DISPLAY names one already.
#   scripts/wine-ctest.sh x86|x64 BUILD_TREE [ctest arguments]
set -euo pipefail
repo_root=$(cd "$(dirname "$0")/.." && pwd)
export TAVRELLO_ARCH=$1
tree=$(realpath "$2")
shift 2
export TAVRELLO_WINEPREFIX=$tree/wine-prefix
source "$repo_root/scripts/wine-env.sh"
source "$repo_root/scripts/display.sh"

if [ -z "${DISPLAY:-}" ]; then
    start_virtual_display
    trap 'wineserver -k 2>/dev/null || true; stop_virtual_display' EXIT
else
    trap 'wineserver -k 2>/dev/null || true' EXIT
fi
ensure_wine_prefix
# Its output detached: otherwise every test waits for the helper processes that a fresh
# wineserver starts.
wineserver -p
wine cmd /c exit >/dev/null 2>&1 </dev/null || true
ctest --test-dir "$tree" --output-on-failure --timeout 300 "$@"
