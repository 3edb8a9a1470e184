#!/usr/bin/env bash
# Renders the pictures of README.md into docs/pictures: the real programs, installed into the
# demo Wine prefix and talking to the local service, under a virtual display of their own.
#   scripts/pictures.sh [output folder]
set -Eeuo pipefail
source "$(dirname "$0")/demo-env.sh"
out_dir=$(realpath -m "${1:-$repo_root/docs/pictures}")
work_dir=$build_dir/pictures

demo_build
demo_trap
mkdir -p "$out_dir" "$work_dir"
demo_start_service "$work_dir"
unset DISPLAY
start_virtual_display
demo_prepare_prefix
step "Installing into $WINEPREFIX"
demo_install "$base_url"

fail() {
    echo "pictures: $*" >&2
    exit 1
}

# Windows of the tray program: menu, pop-up, About and Options.
step "Tray program"
wine "$unix_install_dir/Zephlist.exe" >/dev/null 2>&1 &
driver exists Zephlist 30 >/dev/null || fail "Zephlist.exe did not start"
driver tray Zephlist right
driver wait menu 10 >/dev/null || fail "no tray menu"
screenshot "$out_dir/tray-menu.png" menu
driver dismiss menu
driver tray Zephlist left
driver wait Zephlist 10 >/dev/null || fail "no pop-up"
# The whole screen, half size: where the pop-up opens. Its browser control stays blank here,
# as Wine has no HTML engine in this set-up.
screenshot "$work_dir/screen.png"
/usr/bin/convert "$work_dir/screen.png" -resize 50% -strip "$out_dir/popup.png"
driver command Zephlist ID_ABOUT
driver wait "About Zephlist" 10 >/dev/null || fail "no About dialog"
screenshot "$out_dir/about.png" "About Zephlist"
driver click "About Zephlist" IDOK
driver command Zephlist ID_OPTIONS
driver wait "Tavrello - Zephlist Options" 10 >/dev/null || fail "no tray options dialog"
driver type "Tavrello - Zephlist Options" IDC_EMAIL "$demo_account"
driver type "Tavrello - Zephlist Options" IDC_PASSWORD "$demo_password"
screenshot "$out_dir/tray-options.png" "Tavrello - Zephlist Options"
driver click "Tavrello - Zephlist Options" IDCANCEL

# The plug-in's dialogs, through the stand-in browser. Without an account it asks first.
step "Plug-in, English"
page_url=${base_url}help/plugin.htm
page_title="Tavrello - Browser plug-in help"
wine "$test_browser_exe" "$page_url" "$page_title" >/dev/null 2>&1 &
browser_pid=$!
driver wait "Tavrello Options" 30 >/dev/null || fail "no plug-in options dialog"
driver type "Tavrello Options" IDC_EMAIL "$demo_account"
driver type "Tavrello Options" IDC_PASSWORD "$demo_password"
screenshot "$out_dir/plugin-options.png" "Tavrello Options"
driver click "Tavrello Options" IDOK
add="Add to Tavrello.com"
driver wait "$add" 30 >/dev/null || fail "no add-favorite dialog"
screenshot "$out_dir/add-favorite.png" "$add"
driver click "$add" IDC_CREATE_IN
sleep 0.5
driver select "$add" IDC_CATEGORY_TREE Reference
screenshot "$out_dir/add-favorite-expanded.png" "$add"
driver click "$add" IDC_NEW_CATEGORY
driver wait "Add New Catagory" 10 >/dev/null || fail "no new-category dialog"
driver type "Add New Catagory" IDC_CATEGORY_NAME "Recipes"
screenshot "$out_dir/new-category.png" "Add New Catagory"
driver click "Add New Catagory" IDCANCEL
driver wait "$add" 10 >/dev/null
driver click "$add" IDCANCEL
wait "$browser_pid" || true

# Danish: the resource lookup follows the user's locale.
step "Plug-in, Danish"
LC_ALL=da_DK.UTF-8 wine "$test_browser_exe" "$page_url" "$page_title" >/dev/null 2>&1 &
browser_pid=$!
add_da="Tilføj til Tavrello.com"
driver wait "$add_da" 30 >/dev/null || fail "no Danish add-favorite dialog"
driver click "$add_da" IDC_CREATE_IN
sleep 0.5
driver select "$add_da" IDC_CATEGORY_TREE News
screenshot "$out_dir/add-favorite-danish.png" "$add_da"
driver click "$add_da" IDCANCEL
wait "$browser_pid" || true

step "Pictures in $out_dir"
ls -l "$out_dir"
