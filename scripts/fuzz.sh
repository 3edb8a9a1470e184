#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (ASan and UBSan on) and runs each for a
# bounded time, seeded from the corpus in the repository; the corpus grown in the run stays in
# the build folder. Then measures the line coverage that the grown corpus reaches in the core's
# sources. Any broken property or sanitizer report fails the script and names the input.
#   scripts/fuzz.sh [seconds per target]     (default 5; or TAVRELLO_FUZZ_SECONDS)
#   TAVRELLO_FUZZ_TARGETS="a_fuzz b_fuzz"     only these targets
#   TAVRELLO_FUZZ_COVERAGE=0                  skip the coverage measurement
set -euo pipefail
repo_root=$(cd "$(dirname "$0")/.." && pwd)
build_root=${TAVRELLO_BUILD_DIR:-$repo_root/build}
seconds=${1:-${TAVRELLO_FUZZ_SECONDS:-5}}
fuzz_build=$build_root/fuzz
coverage_build=$build_root/fuzz-coverage
source_dir=$repo_root/tests/fuzz

source "$repo_root/scripts/arches.sh"
install_dependencies

configure_and_build() {
    CC=clang CXX=clang++ cmake -S "$source_dir" -B "$1" "${@:2}" >/dev/null
    cmake --build "$1" --parallel 2 >/dev/null
}
configure_and_build "$fuzz_build"

targets=${TAVRELLO_FUZZ_TARGETS:-$(cd "$source_dir" && ls *_fuzz.cpp | sed 's/\.cpp$//')}
mkdir -p "$fuzz_build/artifacts" "$fuzz_build/logs"
summary=()
failed=0
for target in $targets; do
    corpus=$fuzz_build/corpus/$target
    mkdir -p "$corpus"
    log=$fuzz_build/logs/$target.log
    # Leak checking stays on: a parser that leaks fails like one that crashes.
    if ! "$fuzz_build/bin/$target" "$corpus" "$source_dir/corpus/$target" \
            -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
            -print_final_stats=1 -artifact_prefix="$fuzz_build/artifacts/$target-" \
            >"$log" 2>&1; then
        echo "fuzz: $target FAILED; its log: $log" >&2
        grep -E "property broken|ERROR: |SUMMARY|Test unit written" "$log" >&2 || tail -20 "$log" >&2
        failed=1
        continue
    fi
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1)
    units=$(ls "$corpus" | wc -l)
    summary+=("$(printf '%-26s %10s runs %8s/s  %-20s corpus %s' "$target" "$executions" "$rate" "$cov" "$units")")
done

echo "fuzz: $seconds s per target"
printf '  %s\n' "${summary[@]}"
[ "$failed" -eq 0 ] || { echo "fuzz: a property broke or a sanitizer reported; see above" >&2; exit 1; }

if [ "${TAVRELLO_FUZZ_COVERAGE:-1}" != "0" ]; then
    configure_and_build "$coverage_build" -DTAVRELLO_FUZZ_COVERAGE=ON
    rm -rf "$coverage_build/profiles"
    mkdir -p "$coverage_build/profiles"
    objects=()
    for target in $targets; do
        LLVM_PROFILE_FILE="$coverage_build/profiles/$target.profraw" \
            "$coverage_build/bin/$target" -runs=0 "$fuzz_build/corpus/$target" \
            "$source_dir/corpus/$target" >/dev/null 2>&1
        objects+=(-object "$coverage_build/bin/$target")
    done
    llvm-profdata merge -sparse "$coverage_build"/profiles/*.profraw -o "$coverage_build/merged.profdata"
    echo "fuzz: line and branch coverage of the core reached by the corpus"
    llvm-cov report "${objects[@]:1}" -instr-profile="$coverage_build/merged.profdata" \
        --ignore-filename-regex='tests/fuzz/|/usr/' "$repo_root"/{plugin/client,common,tray,framework} 2>/dev/null |
        awk -v root="$repo_root/" '/\.cpp|^TOTAL/ {
            sub(root, "", $1)
            printf "  %-36s %5s lines, %8s covered; branches %8s covered\n", $1, $8, $10, $13 }'
fi
