#!/usr/bin/env bash
# Builds everything and runs every test: the native ones (the local service, and the
# platform-neutral core under sanitizers), the static checks of the 32-bit deliverables' files
# and of both architectures' manifests, then the whole Windows suite under Wine once for each
# architecture this host can run, each in a prefix of its own, with a virtual display for the
# windows, and last the release checks
# (scripts/release-check.sh; TAVRELLO_RELEASE_CHECK=0 skips them). Extra arguments go to the Wine
# ctest runs (for example -R settings). TAVRELLO_ARCHES=x64 (or x86) chooses instead of the probe.
set -euo pipefail
repo_root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${TAVRELLO_BUILD_DIR:-$repo_root/build}
source "$repo_root/scripts/arches.sh"

# Before the long build: a host that can run no Windows program fails in seconds.
decide_arches || {
    echo "test: no Windows test can run on this machine; nothing was built or tested" >&2
    exit 1
}

"$repo_root/scripts/build.sh"
"$repo_root/scripts/native-test.sh"

failed=()
echo "test: static checks of the 32-bit files in $build_dir/x86"
/usr/bin/python3 "$repo_root/tests/deliverables/x86_files_test.py" "$build_dir/x86" ||
    failed+=("the static checks of the x86 files")
echo "test: the manifests of both architectures' programs"
/usr/bin/python3 "$repo_root/tests/deliverables/manifests_test.py" "$build_dir" ||
    failed+=("the manifest checks")

# The benchmark step: figures to read, never a failure.
echo "test: benchmark: the size of each shipped program and setup"
/usr/bin/python3 "$repo_root/scripts/size-report.py" "$build_dir/x86" "$build_dir/x64" ||
    echo "test: the size report could not be made" >&2

source "$repo_root/scripts/display.sh"
start_virtual_display
trap 'stop_virtual_display' EXIT

for arch in "${run_arches[@]}"; do
    echo "test: the Windows suite of the $arch build under Wine"
    status=0
    "$repo_root/scripts/wine-ctest.sh" "$arch" "$build_dir/$arch" "$@" || status=$?
    [ $status -eq 0 ] || failed+=("the $arch suite")
done
# Reproducible and signed: a second build of the shipped files, compared and signed.
if [ "${TAVRELLO_RELEASE_CHECK:-1}" != 0 ]; then
    "$repo_root/scripts/release-check.sh" || failed+=("the release checks")
fi
if [[ " ${run_arches[*]} " != *" x86 "* ]]; then
    echo "test: skipped: the x86 suite, with its case of the 32-bit setup on 64-bit Windows" \
        "($arches_reason)"
fi
if [ ${#failed[@]} -gt 0 ]; then
    printf 'test: failed: %s\n' "${failed[@]}" >&2
    exit 1
fi
echo "test: every suite passed (${run_arches[*]} under Wine, native, static checks of the x86 files, release checks)"
