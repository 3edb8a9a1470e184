# Sourced by the scripts that run Windows binaries: the project's own 32-bit Wine prefix.
# TAVRELLO_WINEPREFIX chooses another prefix (the demo uses one of its own).
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${TAVRELLO_WINEPREFIX:-$repo_root/build/wine-prefix}
export WINEARCH=win32
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
        wineboot -i >/dev/null 2>&1
        # Windows without a display fall back to the null driver; no window manager under Xvfb.
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d 'x11,null' /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\DllOverrides' /v mshtml /d '' /f >/dev/null 2>&1
        wineserver -w
        touch "$WINEPREFIX/.tavrello-ready"
    ) 9>"$WINEPREFIX.lock"
}
