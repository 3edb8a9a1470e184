# Sourced: which Windows architectures this host can run, found by trying each Wine loader.
# TAVRELLO_ARCHES ("x86,x64", "x64" or "x86") overrides the probe. decide_arches installs what
# is missing first (on a fresh machine there is no loader to try yet), then sets run_arches (a
# list, x86 first) and prints one line that says what runs and why (also kept in arches_reason).
arches_repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Debian's loaders; the plain "wine" wrapper prefers the 32-bit one whenever it is installed,
# even where it cannot run, so the scripts always name the loader they mean.
wine32_loader=${TAVRELLO_WINE32_LOADER:-/usr/lib/wine/wine}
wine64_loader=${TAVRELLO_WINE64_LOADER:-/usr/lib/wine/wine64}

# The install step every script runs before it builds or probes; tests put a stand-in here.
install_dependencies() {
    "${TAVRELLO_INSTALL_DEPS:-$arches_repo_root/scripts/install-deps.sh}"
}

# arch_refusal ARCH: empty when ARCH's Wine loader starts here, otherwise the reason it does not.
arch_refusal() {
    local loader output status=0
    case $1 in
    x86) loader=$wine32_loader ;;
    x64) loader=$wine64_loader ;;
    esac
    [ -e "$loader" ] || { echo "no Wine loader $loader"; return; }
    output=$("$loader" --version 2>&1) || status=$?
    [ $status -eq 0 ] && return
    case $output in
    *"Exec format error"*) echo "Exec format error" ;;
    *) echo "$loader ended with exit code $status" ;;
    esac
}

decide_arches() {
    run_arches=()
    install_dependencies || return 1
    if [ -n "${TAVRELLO_ARCHES:-}" ]; then
        local arch
        for arch in x86 x64; do
            [[ ",$TAVRELLO_ARCHES," == *",$arch,"* ]] && run_arches+=("$arch")
        done
        if [ ${#run_arches[@]} -eq 0 ] || [[ ! $TAVRELLO_ARCHES =~ ^(x86|x64)(,(x86|x64))?$ ]]; then
            echo "TAVRELLO_ARCHES must be x86,x64, x86 or x64, not '$TAVRELLO_ARCHES'" >&2
            return 2
        fi
        arches_reason="TAVRELLO_ARCHES=$TAVRELLO_ARCHES: running the ${run_arches[*]} build(s) only"
        echo "$arches_reason"
        return 0
    fi
    local refused32 refused64
    refused32=$(arch_refusal x86)
    refused64=$(arch_refusal x64)
    [ -z "$refused32" ] && run_arches+=(x86)
    [ -z "$refused64" ] && run_arches+=(x64)
    if [ -z "$refused32" ] && [ -z "$refused64" ]; then
        arches_reason="this machine runs 32-bit and 64-bit programs: running both builds"
    elif [ -z "$refused64" ]; then
        arches_reason="this machine cannot run 32-bit programs ($refused32): running the 64-bit build only"
    elif [ -z "$refused32" ]; then
        arches_reason="this machine cannot run 64-bit programs ($refused64): running the 32-bit build only"
    else
        echo "this machine can run no Windows program: 32-bit: $refused32; 64-bit: $refused64" >&2
        return 1
    fi
    echo "$arches_reason"
}
