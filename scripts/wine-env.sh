# Sourced by the scripts that run Windows binaries. TAVRELLO_ARCH picks the build and the Wine
# that runs it: x86 (the default: a win32 prefix and the 32-bit loader) or x64 (a win64 prefix
# and the 64-bit loader, which is all that runs on a host without 32-bit execution).
# TAVRELLO_WINEPREFIX chooses another prefix than the architecture's test prefix.
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export TAVRELLO_ARCH=${TAVRELLO_ARCH:-x86}
source "$repo_root/scripts/arches.sh"
case $TAVRELLO_ARCH in
x86)
    export WINEARCH=win32
    export WINELOADER=$wine32_loader
    ;;
x64)
    export WINEARCH=win64
    export WINELOADER=$wine64_loader
    ;;
*)
    echo "wine-env: unknown architecture '$TAVRELLO_ARCH' (x86 or x64)" >&2
    return 2 2>/dev/null || exit 2
    ;;
esac
# The loader of the chosen architecture, always by its path: the one the probe tried.
wine() { "$WINELOADER" "$@"; }
wineboot() { "$WINELOADER" wineboot "$@"; }
winepath() { "$WINELOADER" winepath "$@"; }
export WINEPREFIX=${TAVRELLO_WINEPREFIX:-${TAVRELLO_BUILD_DIR:-$repo_root/build}/$TAVRELLO_ARCH/wine-prefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No HTML engine is installed for Wine here; keep Wine from offering to install one.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Creates and configures the prefix on first use; later calls return at once.
ensure_wine_prefix() {
    [ -f "$WINEPREFIX/.tavrello-ready" ] && return 0
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        [ -f "$WINEPREFIX/.tavrello-ready" ] && exit 0
        # A win64 prefix reports the 32-bit programs it cannot start where the host runs
        # none; that is harmless, so only the registry steps below decide.
        wineboot -i >/dev/null 2>&1 || true
        # Windows without a display fall back to the null driver; no window manager under Xvfb.
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d 'x11,null' /f >/dev/null 2>&1 &&
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 &&
            wine reg add 'HKCU\Software\Wine\DllOverrides' /v mshtml /d '' /f >/dev/null 2>&1 || {
            echo "wine-env: the $WINEARCH prefix $WINEPREFIX could not be prepared" >&2
            exit 1
        }
        wineserver -w
        touch "$WINEPREFIX/.tavrello-ready"
    ) 9>"$WINEPREFIX.lock"
}
