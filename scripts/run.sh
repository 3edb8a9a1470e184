#!/usr/bin/env bash
# The main job: builds both deliverables (Corvane.dll and Zephlist.exe) into build/bin.
set -euo pipefail
repo_root=$(cd "$(dirname "$0")/.." && pwd)
"$repo_root/scripts/build.sh"
echo "Built into ${TAVRELLO_BUILD_DIR:-$repo_root/build}/bin:"
ls -l "${TAVRELLO_BUILD_DIR:-$repo_root/build}/bin" 2>/dev/null || true
