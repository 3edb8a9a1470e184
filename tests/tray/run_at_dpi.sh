#!/usr/bin/env bash
# Runs a test program with the tests' prefix at another display DPI: Wine reads LogPixels when
# each process starts, so the program and whatever it starts see that DPI. The prefix's own
# value is put back afterwards, and the other tests run at 96 DPI (ctest runs one at a time).
#   run_at_dpi.sh <dpi> <test program> [test arguments]
set -euo pipefail
dpi=$1
test_exe=$2
shift 2
source "$(dirname "$0")/../../scripts/wine-env.sh"
ensure_wine_prefix

key='HKCU\Control Panel\Desktop'
previous=$(wine reg query "$key" /v LogPixels 2>/dev/null | awk '$1 == "LogPixels" {print $3}' | tr -d '\r' || true)
restore() {
    if [ -n "$previous" ]; then
        wine reg add "$key" /v LogPixels /t REG_DWORD /d "$((previous))" /f
    else
        wine reg delete "$key" /v LogPixels /f
    fi >/dev/null 2>&1 || echo "run_at_dpi: LogPixels of $WINEPREFIX could not be put back" >&2
}
trap restore EXIT
wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
# The test checks that the display is at the DPI the run is for.
export TAVRELLO_TEST_DPI=$dpi
output=$(mktemp)
status=0
# Through a file, as scripts/wine-run.sh does: helper processes must not hold ctest's pipes.
wine "$test_exe" "$@" >"$output" 2>&1 </dev/null || status=$?
cat "$output"
rm -f "$output"
exit "$status"
