# Sourced by run.sh and pictures.sh: builds what a demo needs, starts the local service,
# installs both programs into the demo Wine prefix, drives windows and takes screenshots.
# Call demo_stop_all (or let the EXIT trap that demo_trap sets do it) to stop what it started.
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${TAVRELLO_BUILD_DIR:-$repo_root/build}
source "$repo_root/scripts/arches.sh"
# The 32-bit deliverables where this host runs them, otherwise the 64-bit build of the same
# sources with its own setup program.
decide_arches || exit 1
export TAVRELLO_ARCH=${run_arches[0]}
if [ "$TAVRELLO_ARCH" = x86 ]; then
    setup_exe=$build_dir/x86/installer/TavrelloSetup.exe
    echo "demo: the 32-bit build, installed with TavrelloSetup.exe"
else
    setup_exe=$build_dir/x64/installer/TavrelloSetup-x64.exe
    echo "demo: the 64-bit build, installed with TavrelloSetup-x64.exe"
fi
export TAVRELLO_WINEPREFIX=$build_dir/$TAVRELLO_ARCH/demo-prefix
source "$repo_root/scripts/wine-env.sh"
source "$repo_root/scripts/display.sh"

demo_account=demo@tavrello.test
demo_password=tavrello-demo
test_browser_exe=$build_dir/$TAVRELLO_ARCH/bin/TestBrowser.exe
driver_exe=$build_dir/$TAVRELLO_ARCH/bin/DemoDriver.exe
service_pid=

# The step in progress and the log that tells about it, for the message when one fails.
current_step=
current_log="the output above"
trap 'demo_step_failed $?' ERR
demo_step_failed() {
    trap - ERR
    echo "demo: the step \"$current_step\" failed (exit code $1); see $current_log" >&2
}
# step TEXT [LOG]: announces a step and names the log to read if it fails.
step() {
    current_step=$1
    current_log=${2:-the output above}
    printf '\n==> %s\n' "$1"
}

demo_build() {
    step "Building the Windows programs, the setup program and the tools"
    "$repo_root/scripts/build.sh"
    step "Building the local Tavrello service"
    CC=${TAVRELLO_NATIVE_CC:-gcc} CXX=${TAVRELLO_NATIVE_CXX:-g++} \
        cmake -S "$repo_root/native" -B "$build_dir/native" -DTAVRELLO_WERROR=ON >/dev/null
    cmake --build "$build_dir/native" --parallel 2 --target tavrello-service
    local program
    for program in "$setup_exe" "$test_browser_exe" "$driver_exe"; do
        [ -f "$program" ] || { echo "demo: $program was not built" >&2; return 1; }
    done
}

demo_stop_all() {
    trap - EXIT INT TERM
    stop_wine
    [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null
    service_pid=
    stop_virtual_display
}

demo_trap() {
    trap demo_stop_all EXIT
    trap 'echo; echo "demo: interrupted, stopping everything" >&2; exit 130' INT TERM
}

# demo_start_service FOLDER: a fresh database in FOLDER, a free port; sets base_url.
demo_start_service() {
    local folder=$1 port=
    database=$folder/tavrello-demo.db
    service_log=$folder/service.log
    rm -f "$database" "$database-wal" "$database-shm"
    "$build_dir/native/bin/tavrello-service" --listen 127.0.0.1 --port 0 --db "$database" \
        >"$folder/service.out" 2>"$service_log" &
    service_pid=$!
    for _ in $(seq 100); do
        port=$(sed -n 's/^tavrello-service listening on 127\.0\.0\.1:\([0-9]*\),.*/\1/p' \
            "$folder/service.out" 2>/dev/null)
        [ -n "$port" ] && break
        kill -0 "$service_pid" 2>/dev/null || break
        sleep 0.1
    done
    current_log=$service_log
    [ -n "$port" ] || { echo "demo: the service did not start; see $service_log" >&2; return 1; }
    base_url=http://127.0.0.1:$port/
}

# Starts the demo prefix's own wineserver (on the display in force) and finds the folder that
# setup installs into: sets install_dir (Windows) and unix_install_dir.
demo_prepare_prefix() {
    stop_wine
    current_log="the Wine messages (rerun with WINEDEBUG=err+all)"
    ensure_wine_prefix
    wineserver -p
    wine cmd /c exit >/dev/null 2>&1 </dev/null || true
    local program_files
    program_files=$(wine cmd /c echo '%ProgramFiles%' 2>/dev/null | tr -d '\r')
    install_dir="$program_files\\Tavrello"
    unix_install_dir=$(winepath -u "$install_dir" 2>/dev/null)
}

# demo_install BASE_URL: removes the last installation with its account settings, then runs
# the setup program silently.
demo_install() {
    if [ -f "$unix_install_dir/Uninstall.exe" ]; then
        wine "$unix_install_dir/Uninstall.exe" /S /PURGE >/dev/null 2>&1 || true
        for _ in $(seq 100); do [ -e "$unix_install_dir" ] || break; sleep 0.2; done
    fi
    local status=0
    current_log="$unix_install_dir/Setup.log"
    wine "$setup_exe" /S "/URL=$1" >/dev/null 2>&1 || status=$?
    [ $status -eq 0 ] || {
        echo "demo: $(basename "$setup_exe") failed with exit code $status; see $current_log" >&2
        return 1
    }
}

# resource_id NAME: the number of a control or command of the programs' resources (IDOK and
# IDCANCEL are Windows' own).
resource_id() {
    case $1 in
    IDOK) echo 1 ;;
    IDCANCEL) echo 2 ;;
    *) sed -n "s/^#define $1 \([0-9]*\)\$/\1/p" "$repo_root"/resources/{plugin,tray}/resource.h | head -1 ;;
    esac
}

# driver ARGUMENTS: the demo driver, with controls and commands named as in the resources.
driver() {
    local arguments=() argument id
    for argument in "$@"; do
        if [[ $argument =~ ^ID[A-Z_]*$ ]]; then
            id=$(resource_id "$argument")
            [ -n "$id" ] || { echo "demo: no resource is named $argument" >&2; return 1; }
            argument=$id
        fi
        arguments+=("$argument")
    done
    LC_ALL=C.UTF-8 wine "$driver_exe" "${arguments[@]}" 2>/dev/null | tr -d '\r'
}

# screenshot FILE [CAPTION]: the whole virtual screen, or only the window with that caption
# ("menu" for the pop-up menu shown).
screenshot() {
    local file=$1 caption=${2:-} geometry x y w h
    sleep 0.4
    if [ -n "$caption" ] && geometry=$(driver rect "$caption") && [ -n "$geometry" ]; then
        read -r x y w h <<<"$geometry"
        import -window root -crop "${w}x${h}+${x}+${y}" +repage -strip "$file"
    else
        import -window root -strip "$file"
    fi
    echo "  screenshot $file"
}
