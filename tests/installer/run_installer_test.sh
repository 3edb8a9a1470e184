#!/usr/bin/env bash
# Runs installer_test.exe against TavrelloSetup.exe in a Wine prefix of its own, never the
# tests' prefix: setup writes per-machine entries that the other tests must not see.
#   run_installer_test.sh <installer_test.exe> <TavrelloSetup.exe> <prefix folder> [gtest args]
set -euo pipefail
test_exe=$1
setup_exe=$2
export TAVRELLO_WINEPREFIX=$3
shift 3

source "$(dirname "$0")/../../scripts/wine-env.sh"
ensure_wine_prefix
trap 'wineserver -k 2>/dev/null || true' EXIT
# The prefix's own wineserver, its output detached, so that ctest does not wait for the
# helper processes it starts.
wineserver -p
wine cmd /c exit >/dev/null 2>&1 </dev/null || true

TAVRELLO_SETUP_EXE=$(winepath -w "$setup_exe" 2>/dev/null)
export TAVRELLO_SETUP_EXE
# WINEDLLOVERRIDES and the rest come from wine-env.sh; Wine passes the variable on.
wine "$test_exe" "$@"
