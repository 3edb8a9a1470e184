#!/usr/bin/env bash
# Runs installer_test.exe against TavrelloSetup.exe in a Wine prefix of its own, never the
# tests' prefix: setup writes per-machine entries that the other tests must not see.
# TAVRELLO_ARCH=x64 with the 32-bit test and setup makes it a win64 prefix, where they run as
# 32-bit programs on 64-bit Windows; TAVRELLO_TEST_BROWSER_X86/_X64 name the stand-in browsers
# (Unix paths) that the test starts there. A host whose loader for that prefix cannot run
# skips the run (exit code 77) and says why.
#   run_installer_test.sh <installer_test.exe> <TavrelloSetup.exe> <prefix folder> [gtest args]
set -euo pipefail
test_exe=$1
setup_exe=$2
export TAVRELLO_WINEPREFIX=$3
shift 3

source "$(dirname "$0")/../../scripts/wine-env.sh"
# The 32-bit programs of the WOW64 run need both loaders.
needed_arches=$TAVRELLO_ARCH
[ -n "${TAVRELLO_TEST_BROWSER_X86:-}" ] && needed_arches="$needed_arches x86"
for arch in $needed_arches; do
    refusal=$(arch_refusal "$arch")
    if [ -n "$refusal" ]; then
        echo "skipped: the $arch Wine loader does not run on this machine ($refusal)"
        exit 77
    fi
done
ensure_wine_prefix
trap 'wineserver -k 2>/dev/null || true' EXIT
# The prefix's own wineserver, its output detached, so that ctest does not wait for the
# helper processes it starts.
wineserver -p
wine cmd /c exit >/dev/null 2>&1 </dev/null || true

TAVRELLO_SETUP_EXE=$(winepath -w "$setup_exe" 2>/dev/null)
export TAVRELLO_SETUP_EXE
for browser in TAVRELLO_TEST_BROWSER_X86 TAVRELLO_TEST_BROWSER_X64; do
    [ -n "${!browser:-}" ] && export "$browser=$(winepath -w "${!browser}" 2>/dev/null)"
done
# WINEDLLOVERRIDES and the rest come from wine-env.sh; Wine passes the variable on.
wine "$test_exe" "$@"
