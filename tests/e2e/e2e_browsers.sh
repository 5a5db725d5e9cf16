#!/usr/bin/env bash
# Whole runs of the launcher on the demo stack with real browsers, as an ordinary user on a
# virtual display:
#   e2e_browsers.sh SOURCE_DIR BIN_DIR WORK_DIR RESULT_XML
# One case per browser: CHROMIUM, FIREFOX (with the demo's own server name, blank included, and a
# Firefox profile of the user's own), and DEFAULT with the desktop's default set to Chromium. In
# each the page is loaded from PHP and the database, a screenshot is kept as an artefact, the
# browser is closed with its own keys as a user would, and then the launcher must end within
# seconds, leaving no process, no runtime folder, and the user's home folder as it was (the shared
# desktop caches under ~/.cache aside). Needs root to make the ordinary user; skipped otherwise.
set -uo pipefail

self=$(readlink -f "$0")
. "$(dirname "$self")/e2e_common.sh"

user=trh-e2e
display=:$((90 + RANDOM % 200))

as_user() {  # as_user command... — with the case's home, folders and display, nothing else
    setpriv --reuid="$user" --regid="$user" --init-groups \
        env -i HOME="$home" PATH=/usr/local/bin:/usr/bin:/bin DISPLAY="$display" \
        TMPDIR="$case_dir/tmp" XDG_RUNTIME_DIR="$case_dir/xdg-run" LANG=C.UTF-8 \
        TRH_TRACE="$case_dir/trace.txt" "$@"
}

# The home folder's state: every path with the hash of every file, the desktop's shared caches
# (fonts, shaders, dconf) left out.
home_state() {
    (cd "$home" && find . -mindepth 1 ! -path ./.cache ! -path './.cache/fontconfig*' \
        ! -path './.cache/mesa_shader_cache*' ! -path './.cache/dconf*' \
        \( -type f -exec md5sum {} + -o -print \) | LC_ALL=C sort)
}

page_loaded() { grep -q '"GET /index.php HTTP/1.1" 200' "$(runtime_folders | head -n1)/apache_access.log" 2>/dev/null; }
users_processes() { pgrep -u "$user" -l 2>/dev/null | grep -v -E ' (dbus-daemon|at-spi)' || true; }
none_left() { [ -z "$(users_processes)" ]; }

# The browser's window, once it shows (the user's view of it).
browser_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1; }

browser_case() {  # browser_case type server_name window_name close_keys
    local type=$1 server_name=$2 window_name=$3 keys=$4 web db window launcher started elapsed
    local stack="$case_dir/stack"
    home="$case_dir/home"
    mkdir -p "$home" "$case_dir/tmp" "$case_dir/xdg-run"
    cp -a "$demo/stack" "$stack"
    chmod 700 "$case_dir/xdg-run"
    chown -R "$user:$user" "$case_dir"

    if [ "$type" = FIREFOX ]; then
        # The user's own Firefox, with a profile named like the server.
        mkdir -p "$home/.mozilla/firefox/abcd.default"
        printf '[General]\r\nStartWithLastProfile=1\r\n\r\n[Profile0]\nName=%s\nIsRelative=1\nPath=abcd.default\n; the end' \
            "$server_name" >"$home/.mozilla/firefox/profiles.ini"
        echo '// the user'"'"'s own' >"$home/.mozilla/firefox/abcd.default/prefs.js"
        chown -R "$user:$user" "$home"
    fi
    if [ "$type" = DEFAULT ]; then
        as_user xdg-mime default chromium.desktop text/html x-scheme-handler/http \
            x-scheme-handler/https
        check "default: the desktop's default browser is Chromium" \
            test "$(as_user xdg-mime query default text/html)" = chromium.desktop
    fi
    home_state >"$case_dir/home.before"

    web=$(pick_port)
    db=$(pick_port)
    write_config "$stack" "$web" "$db" "General:ServerName=$server_name" "Browser:BrowserType=$type"
    chown "$user:$user" "$stack/hub_config.ini"

    as_user "$stack/trailhost" >"$case_dir/out.txt" 2>&1 &
    launcher=$!
    check "$case_name: the browser loaded the page through the web server" wait_for 90 page_loaded
    check "$case_name: the page came from PHP and the database" \
        wait_for 10 eval 'http_get "$web" /index.php "$case_dir/page.txt" && grep -q "<li>Bo: cook</li>" "$case_dir/page.txt"'
    check "$case_name: the browser's window shows" wait_for 60 eval '[ -n "$(browser_window "$window_name")" ]'
    sleep 2
    mkdir -p "$artifacts"
    import -display "$display" -window root "$artifacts/browser-$case_name.png" 2>/dev/null
    check "$case_name: a screenshot of the page was kept" test -s "$artifacts/browser-$case_name.png"
    check "$case_name: the launcher runs while the browser is open" alive "$launcher"

    # The user closes the browser with its own keys.
    window=$(browser_window "$window_name")
    started=$(date +%s%N)
    if [ -n "$window" ]; then
        xdotool mousemove --window "$window" 300 300 click 1
        sleep 0.3
        xdotool key --clearmodifiers "$keys"
    fi
    wait_for 30 gone "$launcher"
    elapsed=$((($(date +%s%N) - started) / 1000000))
    echo "$case_name: browser closed to launcher ended in $elapsed ms" >>"$work/timings"
    check "$case_name: the launcher ended within seconds of the browser ($elapsed ms)" gone "$launcher"
    wait "$launcher" 2>/dev/null
    check "$case_name: no process of the run is left" wait_for 10 none_left
    check "$case_name: the runtime folder is gone" no_runtime_folder
    # Every file by its hash: the user's profile list and profile come back byte for byte.
    home_state >"$case_dir/home.after"
    check "$case_name: the home folder holds what it held before" \
        diff "$case_dir/home.before" "$case_dir/home.after" >>"$results.diff"
    pkill -9 -u "$user" 2>/dev/null
}

case_chromium() { browser_case CHROMIUM "Trailhost" "Chromium" ctrl+shift+w; }
case_firefox() { browser_case FIREFOX "Trailhost Demo" "Mozilla Firefox" ctrl+q; }
case_default() { browser_case DEFAULT "Trailhost" "Chromium" ctrl+shift+w; }

# ---- main -----------------------------------------------------------------------------------

read_arguments "$@"
artifacts=${TRH_TEST_ARTIFACTS:-$bin/../test-artifacts}
cases=${E2E_CASES:-chromium firefox default}
started=$SECONDS
stack_config=('Path:PathToApache=server\Apache\Apache' 'Path:PathToMySqlBin=server\mysql\bin'
    'Path:PathToMySqlShare=server\mysql\share')

missing=""
for tool in chromium firefox-esr xdotool Xvfb import setpriv xdg-mime; do
    command -v "$tool" >/dev/null || missing="$missing $tool"
done
if [ "$(id -u)" != 0 ] || [ -n "$missing" ]; then
    for c in $cases; do
        begin_case "$c"
        skip "needs root to make an ordinary user, and${missing:- nothing else missing}"
    done
else
    id "$user" >/dev/null 2>&1 || useradd -M -s /usr/sbin/nologin "$user"
    if ! bash "$src/scripts/assemble-demo" "$bin" "$work/demo" >"$work/assemble.log" 2>&1; then
        cat "$work/assemble.log"
        echo "FAIL: the demo stack could not be assembled"
        exit 1
    fi
    demo="$work/demo"
    chmod 755 "$work"
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -ac >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    export DISPLAY=$display
    wait_for 10 xdotool getdisplaygeometry >/dev/null 2>&1
    for c in $cases; do
        begin_case "$c"
        temp_dir="$case_dir/tmp"
        "case_$c"
    done
    kill "$xvfb" 2>/dev/null
fi

[ -f "$work/timings" ] && cat "$work/timings"
collect_results "real browsers" "$((SECONDS - started))" "$cases" results.diff out.txt trace.txt
write_result_xml e2e_browsers "$xml"
[ "$failed" -eq 0 ]
