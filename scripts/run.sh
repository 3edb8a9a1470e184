#!/usr/bin/env bash
# The main job: builds everything, starts the local Tavrello service on 127.0.0.1, installs
# both programs with TavrelloSetup.exe into a demo Wine prefix of their own pointed at that
# service, starts Zephlist.exe, and runs the plug-in's command on a sample page through
# TestBrowser.exe, which plays the browser's part. At the end it prints the favorites that the
# service stores.
#
#   scripts/run.sh [--unattended] [--keep-running]
#
# With a display (DISPLAY set) you act yourself: the tray icon and the dialogs are yours.
# Without one, or with --unattended, it runs under a virtual display of its own, fills in and
# confirms the dialogs itself and saves screenshots of each step into the folder it names.
# Everything it starts (service, virtual display, the demo prefix's Wine processes) stops when
# it ends or is interrupted.
set -euo pipefail
repo_root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${TAVRELLO_BUILD_DIR:-$repo_root/build}

unattended=no
keep_running=no
[ -z "${DISPLAY:-}" ] && unattended=yes
for argument in "$@"; do
    case $argument in
    --unattended) unattended=yes ;;
    --keep-running) keep_running=yes ;;
    -h | --help)
        sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    *)
        echo "run: unknown argument $argument (see --help)" >&2
        exit 2
        ;;
    esac
done

demo_dir=$build_dir/demo
shots_dir=$demo_dir/screenshots
database=$demo_dir/tavrello-demo.db
service_log=$demo_dir/service.log
account=demo@tavrello.test
account_password=tavrello-demo

step() { printf '\n==> %s\n' "$*"; }
started=$(date +%s)

# ---------------------------------------------------------------- build
step "Building the Windows programs, the setup program and the tools"
"$repo_root/scripts/build.sh"
step "Building the local Tavrello service"
CC=${TAVRELLO_NATIVE_CC:-gcc} CXX=${TAVRELLO_NATIVE_CXX:-g++} \
    cmake -S "$repo_root/native" -B "$build_dir/native" >/dev/null
cmake --build "$build_dir/native" --parallel 2 --target tavrello-service

setup_exe=$build_dir/installer/TavrelloSetup.exe
for program in "$setup_exe" "$build_dir/bin/TestBrowser.exe" "$build_dir/bin/DemoDriver.exe"; do
    [ -f "$program" ] || { echo "run: $program was not built" >&2; exit 1; }
done

# ---------------------------------------------------------------- clean-up, whatever happens
export TAVRELLO_WINEPREFIX=$build_dir/demo-prefix
source "$repo_root/scripts/wine-env.sh"
source "$repo_root/scripts/display.sh"
service_pid=
cleanup() {
    trap - EXIT INT TERM
    stop_wine
    [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null
    stop_virtual_display
}
trap cleanup EXIT
trap 'echo; echo "run: interrupted, stopping everything"; exit 130' INT TERM

mkdir -p "$demo_dir"
rm -rf "$shots_dir"
[ $unattended = yes ] && mkdir -p "$shots_dir"

# ---------------------------------------------------------------- service
step "Starting the local Tavrello service"
rm -f "$database" "$database-wal" "$database-shm"
"$build_dir/native/bin/tavrello-service" --listen 127.0.0.1 --port 0 --db "$database" \
    >"$demo_dir/service.out" 2>"$service_log" &
service_pid=$!
port=
for _ in $(seq 100); do
    port=$(sed -n 's/^tavrello-service listening on 127\.0\.0\.1:\([0-9]*\),.*/\1/p' \
        "$demo_dir/service.out" 2>/dev/null)
    [ -n "$port" ] && break
    kill -0 "$service_pid" 2>/dev/null || break
    sleep 0.1
done
[ -n "$port" ] || { echo "run: the service did not start; see $service_log" >&2; exit 1; }
base_url=http://127.0.0.1:$port/
echo "Service at $base_url (database $database, request log $service_log)"
sample_url=${base_url}help/plugin.htm
sample_title="Tavrello - Browser plug-in help"

# ---------------------------------------------------------------- display and prefix
if [ $unattended = yes ]; then
    unset DISPLAY
    start_virtual_display
    echo "Virtual display $DISPLAY"
fi
step "Preparing the demo Wine prefix $WINEPREFIX"
stop_wine
ensure_wine_prefix
wineserver -p
wine cmd /c exit >/dev/null 2>&1 </dev/null || true

program_files=$(wine cmd /c echo '%ProgramFiles%' 2>/dev/null | tr -d '\r')
install_dir="$program_files\\Tavrello"
unix_install_dir=$(winepath -u "$install_dir" 2>/dev/null)

# ---------------------------------------------------------------- install
step "Installing with TavrelloSetup.exe /S /URL=$base_url"
if [ -f "$unix_install_dir/Uninstall.exe" ]; then
    # A fresh start: the last run's installation and account settings go first.
    wine "$unix_install_dir/Uninstall.exe" /S /PURGE >/dev/null 2>&1 || true
    for _ in $(seq 100); do [ -e "$unix_install_dir" ] || break; sleep 0.2; done
fi
wine "$setup_exe" /S "/URL=$base_url" >/dev/null 2>&1 || {
    echo "run: setup failed with exit code $?" >&2
    exit 1
}
echo "Installed into $install_dir:"
ls -l "$unix_install_dir"
wine reg query 'HKCU\Software\Orvek\Tavrello' 2>/dev/null | tr -d '\r' | sed '/^$/d'

driver() { wine "$build_dir/bin/DemoDriver.exe" "$@" 2>/dev/null | tr -d '\r'; }
shot_number=0
# Saves the whole virtual screen, or only a window when its caption is given.
screenshot() {
    local name=$1 caption=${2:-} geometry
    shot_number=$((shot_number + 1))
    local file
    file=$shots_dir/$(printf '%02d' $shot_number)-$name.png
    sleep 0.4
    if [ -n "$caption" ] && geometry=$(driver rect "$caption") && [ -n "$geometry" ]; then
        read -r x y w h <<<"$geometry"
        import -window root -crop "${w}x${h}+${x}+${y}" +repage "$file"
    else
        import -window root "$file"
    fi
    echo "  screenshot $file"
}

# ---------------------------------------------------------------- the tray program
step "Starting Zephlist.exe"
wine "$unix_install_dir/Zephlist.exe" >/dev/null 2>&1 &
driver exists Zephlist 30 >/dev/null || { echo "run: Zephlist.exe did not start" >&2; exit 1; }
if [ $unattended = yes ]; then
    screenshot tray-icon
    driver tray Zephlist right
    driver wait menu 5 >/dev/null || true
    screenshot tray-menu menu
    driver dismiss menu || true
    driver tray Zephlist left
    driver wait Zephlist 10 >/dev/null && screenshot tray-popup Zephlist
fi

# ---------------------------------------------------------------- the plug-in's command
step "Running the plug-in's command on $sample_url"
browser_log=$demo_dir/test-browser.log
wine "$build_dir/bin/TestBrowser.exe" "$sample_url" "$sample_title" >"$browser_log" 2>&1 &
browser_pid=$!

if [ $unattended = yes ]; then
    # Without an account the command asks for it first.
    if driver wait "Tavrello Options" 30 >/dev/null; then
        driver type "Tavrello Options" 204 "$account"
        driver type "Tavrello Options" 205 "$account_password"
        screenshot options-dialog "Tavrello Options"
        driver click "Tavrello Options" 1
    fi
    driver wait "Add to Tavrello.com" 30 >/dev/null || {
        echo "run: the add-favorite dialog did not appear" >&2
        exit 1
    }
    screenshot add-favorite "Add to Tavrello.com"
    # "Create in <<" shows the category tree; the page goes into the category "Reference".
    driver click "Add to Tavrello.com" 202
    sleep 0.5
    driver select "Add to Tavrello.com" 207 Reference
    screenshot add-favorite-category "Add to Tavrello.com"
    driver click "Add to Tavrello.com" 1
else
    cat <<EOF

  The add-favorite dialog opens now (the options dialog first, asking for the account):
      e-mail address  $account
      password        $account_password
  Pick a category and press OK. Zephlist's icon is in the notification area: a left click
  shows its pop-up, a right click its menu.
EOF
fi

browser_status=0
wait "$browser_pid" || browser_status=$?
sed 's/\r$//; s/^/  TestBrowser: /' "$browser_log"
[ $browser_status -eq 0 ] || echo "run: TestBrowser.exe ended with exit code $browser_status" >&2

# ---------------------------------------------------------------- what the service stores
step "Favorites that the service stores for $account"
sqlite3 -readonly -header -column "$database" "
    SELECT CASE f.parent WHEN -1 THEN 'No catagory' WHEN 0 THEN 'Home'
                         WHEN -10 THEN 'Private Links' ELSE c.name END AS category,
           f.name AS description, f.url AS address
    FROM favorites f JOIN accounts a ON a.id = f.account_id
    LEFT JOIN categories c ON c.id = f.parent AND c.account_id = f.account_id
    WHERE a.email = '$account' ORDER BY f.id"
added=$(sqlite3 -readonly "$database" "SELECT COUNT(*) FROM favorites WHERE url = '$sample_url'")
echo
if [ "$added" -ge 1 ]; then
    echo "The sample page $sample_url reached the service: the whole road of one request works."
else
    echo "The sample page was not added (dialog cancelled, or a failure: see $service_log)."
fi
[ $unattended = yes ] && echo "Screenshots in $shots_dir"
echo "Finished in $(($(date +%s) - started)) s."

if [ $keep_running = yes ] || [ $unattended = no ]; then
    echo
    read -r -p "Zephlist and the service keep running; press Enter to stop them. " _ || true
fi
[ "$added" -ge 1 ] && [ $browser_status -eq 0 ]
