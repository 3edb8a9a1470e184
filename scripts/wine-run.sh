#!/usr/bin/env bash
# Runs one Windows program under Wine in the project's prefix; its exit code is the program's.
source "$(dirname "$0")/wine-env.sh"
ensure_wine_prefix
exec wine "$@"
