#!/usr/bin/env bash
# The probe that decides which Windows builds run here, against stand-in Wine loaders: one that
# starts, one that the kernel refuses as the 32-bit loader is refused on hosts without 32-bit
# execution, and one that is missing; and the TAVRELLO_ARCHES override. Then the order of the
# first steps of every script that probes: on a fresh machine nothing is installed yet, so the
# install step must come before the probe, and the tests' probe before their long build.
set -uo pipefail
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Each stand-in writes what it did into the steps log; the install step is a stand-in too.
steps=$scratch/steps
printf '#!/bin/sh\necho probe >>"%s"\necho wine-8.0\n' "$steps" >"$scratch/runs"
printf '#!/bin/sh\necho probe >>"%s"\necho "cannot execute binary file: Exec format error" >&2\nexit 126\n' \
    "$steps" >"$scratch/refused"
printf '#!/bin/sh\necho install >>"%s"\n' "$steps" >"$scratch/install"
chmod +x "$scratch/runs" "$scratch/refused" "$scratch/install"
export TAVRELLO_INSTALL_DEPS=$scratch/install TAVRELLO_BUILD_DIR=$scratch/build
passed=0
failed=0

# check NAME EXPECTED_STATUS EXPECTED_ARCHES EXPECTED_LINE 32-BIT-LOADER 64-BIT-LOADER [ARCHES]
check() {
    local output status=0
    output=$(TAVRELLO_WINE32_LOADER=$5 TAVRELLO_WINE64_LOADER=$6 TAVRELLO_ARCHES=${7:-} \
        bash -c 'source "$1"; decide_arches; status=$?; echo "arches=${run_arches[*]}"; exit $status' \
        _ "$scripts/arches.sh" 2>&1) || status=$?
    if [ "$status" = "$2" ] && [[ $output == *"arches=$3"* ]] && [[ $output == *"$4"* ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $1: status $status, output: $output"
    fi
}

check "both run" 0 "x86 x64" "runs 32-bit and 64-bit programs" "$scratch/runs" "$scratch/runs"
check "no 32-bit execution" 0 "x64" \
    "cannot run 32-bit programs (Exec format error): running the 64-bit build only" \
    "$scratch/refused" "$scratch/runs"
check "no 32-bit loader" 0 "x64" "no Wine loader $scratch/missing" "$scratch/missing" "$scratch/runs"
check "nothing runs" 1 "" "can run no Windows program" "$scratch/refused" "$scratch/missing"
check "override to x64" 0 "x64" "TAVRELLO_ARCHES=x64" "$scratch/runs" "$scratch/runs" x64
check "override to x86 where it cannot run" 0 "x86" "TAVRELLO_ARCHES=x86" \
    "$scratch/refused" "$scratch/runs" x86
check "override with a wrong name" 2 "" "must be x86,x64, x86 or x64" "$scratch/runs" \
    "$scratch/runs" arm64

# check_order SCRIPT: on a host that runs nothing, SCRIPT installs, probes both loaders, and
# stops with a message before it builds anything (a build would install once more).
check_order() {
    local output status=0
    : >"$steps"
    output=$(TAVRELLO_WINE32_LOADER=$scratch/refused TAVRELLO_WINE64_LOADER=$scratch/refused \
        TAVRELLO_ARCHES= bash "$scripts/$1" --unattended 2>&1 </dev/null) || status=$?
    local order
    order=$(tr '\n' ' ' <"$steps")
    if [ "$status" -ne 0 ] && [ "$order" = "install probe probe " ] &&
        [[ $output == *"can run no Windows program"* ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $1 on a fresh host: status $status, steps '$order', output: $output"
    fi
}
for script in run.sh pictures.sh test.sh; do check_order "$script"; done
echo "arches: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
