#!/usr/bin/env bash
# Runs one Windows program under Wine in the project's prefix; its exit code is the program's.
# The program's output goes through a file: Wine helper processes that the program happens to
# start (COM's service, the desktop) outlive it, and they must not hold the caller's pipes open,
# or ctest would wait for them until its time-out.
source "$(dirname "$0")/wine-env.sh"
ensure_wine_prefix
output=$(mktemp)
trap 'rm -f "$output"' EXIT
status=0
wine "$@" >"$output" 2>&1 </dev/null || status=$?
cat "$output"
exit "$status"
