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
set -Eeuo pipefail
source "$(dirname "$0")/demo-env.sh"

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
started=$(date +%s)

demo_build
demo_trap
mkdir -p "$demo_dir"
rm -rf "$shots_dir"
[ $unattended = yes ] && mkdir -p "$shots_dir"

step "Starting the local Tavrello service" "$demo_dir/service.log"
demo_start_service "$demo_dir"
echo "Service at $base_url (database $database, request log $service_log)"
sample_url=${base_url}help/plugin.htm
sample_title="Tavrello - Browser plug-in help"

if [ $unattended = yes ]; then
    unset DISPLAY
    start_virtual_display
    echo "Virtual display $DISPLAY"
fi
step "Preparing the demo Wine prefix $WINEPREFIX"
demo_prepare_prefix

step "Installing with $(basename "$setup_exe") /S /URL=$base_url"
demo_install "$base_url"
echo "Installed into $install_dir:"
ls -l "$unix_install_dir"
wine reg query 'HKCU\Software\Orvek\Tavrello' 2>/dev/null | tr -d '\r' | sed '/^$/d'

shot_number=0
shot() {
    shot_number=$((shot_number + 1))
    screenshot "$shots_dir/$(printf '%02d' $shot_number)-$1.png" "${2:-}"
}

# ---------------------------------------------------------------- the tray program
step "Starting Zephlist.exe"
wine "$unix_install_dir/Zephlist.exe" >/dev/null 2>&1 &
driver exists Zephlist 30 >/dev/null || { echo "run: Zephlist.exe did not start" >&2; exit 1; }
if [ $unattended = yes ]; then
    shot tray-icon
    driver tray Zephlist right
    driver wait menu 5 >/dev/null || true
    shot tray-menu menu
    driver dismiss menu || true
    driver tray Zephlist left
    driver wait Zephlist 10 >/dev/null && shot tray-popup Zephlist
fi

# ---------------------------------------------------------------- the plug-in's command
browser_log=$demo_dir/test-browser.log
step "Running the plug-in's command on $sample_url" "$browser_log"
wine "$test_browser_exe" "$sample_url" "$sample_title" >"$browser_log" 2>&1 &
browser_pid=$!

if [ $unattended = yes ]; then
    # Without an account the command asks for it first.
    if driver wait "Tavrello Options" 30 >/dev/null; then
        driver type "Tavrello Options" IDC_EMAIL "$demo_account"
        driver type "Tavrello Options" IDC_PASSWORD "$demo_password"
        shot options-dialog "Tavrello Options"
        driver click "Tavrello Options" IDOK
    fi
    driver wait "Add to Tavrello.com" 30 >/dev/null || {
        echo "run: the add-favorite dialog did not appear" >&2
        exit 1
    }
    shot add-favorite "Add to Tavrello.com"
    # "Create in <<" shows the category tree; the page goes into the category "Reference".
    driver click "Add to Tavrello.com" IDC_CREATE_IN
    sleep 0.5
    driver select "Add to Tavrello.com" IDC_CATEGORY_TREE Reference
    shot add-favorite-category "Add to Tavrello.com"
    driver click "Add to Tavrello.com" IDOK
else
    cat <<EOF

  The add-favorite dialog opens now (the options dialog first, asking for the account):
      e-mail address  $demo_account
      password        $demo_password
  Pick a category and press OK. Zephlist's icon is in the notification area: a left click
  shows its pop-up, a right click its menu.
EOF
fi

browser_status=0
wait "$browser_pid" || browser_status=$?
sed 's/\r$//; s/^/  TestBrowser: /' "$browser_log"
[ $browser_status -eq 0 ] || echo "run: TestBrowser.exe ended with exit code $browser_status" >&2

# ---------------------------------------------------------------- what the service stores
step "Favorites that the service stores for $demo_account"
sqlite3 -readonly -header -column "$database" "
    SELECT CASE f.parent WHEN -1 THEN 'No catagory' WHEN 0 THEN 'Home'
                         WHEN -10 THEN 'Private Links' ELSE c.name END AS category,
           f.name AS description, f.url AS address
    FROM favorites f JOIN accounts a ON a.id = f.account_id
    LEFT JOIN categories c ON c.id = f.parent AND c.account_id = f.account_id
    WHERE a.email = '$demo_account' ORDER BY f.id"
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
