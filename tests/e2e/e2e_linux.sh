#!/usr/bin/env bash
# Whole runs of the launcher binary on the demo stack with the real Apache, PHP and MariaDB:
#   e2e_linux.sh SOURCE_DIR BIN_DIR WORK_DIR RESULT_XML
# Assembles the demo stack under WORK_DIR, gives each case a copy of it with a hub_config.ini of
# its own (free ports, HostName=127.0.0.1 unless the case names the site, the test browser as a
# CHROMIUM-family browser, which is followed directly) and runs the cases side by side. These are
# the runs that only the real servers and the real binary can show; the app-level tests run the
# same sequences with the fake servers. Where the machine allows it each case runs in network and
# mount namespaces of its own: its ports, the local sockets by which a second copy finds the
# first, and a hosts file over /etc/hosts are then its own. E2E_NO_NAMESPACE=1 runs the cases in
# the machine's own network (the cases that need a namespace are skipped then); E2E_CASES picks
# some of them. RESULT_XML counts the check lines for scripts/test.
set -uo pipefail

self=$(readlink -f "$0")
. "$(dirname "$self")/e2e_common.sh"

# ---- the launcher of a case -------------------------------------------------------------------

native_path() { echo "$1"; }

# Without a display unless the case names one in launcher_display; a temporary folder and a
# folder for the local sockets of the case's own.
run_launcher() {  # run_launcher stack argument...
    mkdir -p "$temp_dir"
    mkdir -p -m 700 "$case_dir/xdg"
    exec env -u DISPLAY -u WAYLAND_DISPLAY ${launcher_display:+DISPLAY=$launcher_display} \
        TMPDIR="$temp_dir" XDG_RUNTIME_DIR="$case_dir/xdg" "$1/trailhost" "${@:2}"
}

visits_on() { grep -o '<span id="visits">[0-9]*</span>' "$1" 2>/dev/null | tr -dc 0-9; }
visits_are() { [ "$(visits_on "$1")" = "$2" ]; }

# The launcher's program, and whether it has mapped a library of the window toolkit; read while
# it runs.
launcher_program() { readlink "/proc/$launcher_pid/exe"; }
maps_toolkit() {  # maps_toolkit yes|no
    local maps
    maps=$(cat "/proc/$launcher_pid/maps" 2>/dev/null) && [ -n "$maps" ] || return 1
    if [ "$1" = yes ]; then grep -q libQt6Widgets <<<"$maps"; else ! grep -q libQt6 <<<"$maps"; fi
}

# While the servers run: their ids from the pid files in the runtime folder.
note_server_pids() {
    local rt
    rt=$(runtime_folders | head -n1)
    [ -n "$rt" ] || return 1
    wait_for 20 test -s "$rt/httpd.pid" -a -s "$rt/mysqld.pid" || return 1
    web_pid=$(tr -dc 0-9 <"$rt/httpd.pid")
    db_pid=$(tr -dc 0-9 <"$rt/mysqld.pid")
}

# The start of a run whose browser stays open: the page fetched, both servers running.
check_started() {  # check_started label
    check "$1: the test browser fetched the page" wait_for 60 has "$run/browser.log" "holding"
    check "$1: the servers wrote their pid files" note_server_pids
    check "$1: the servers run while the browser is open" eval 'alive "$web_pid" && alive "$db_pid"'
}

# The page the test browser fetched: PHP ran, the database answered with the demo rows, and the
# launcher's variables reached the script.
check_page() {  # check_page label web_port db_port
    local label=$1 web=$2 db=$3
    check_page_served "http://127.0.0.1:$web/index.php" "$label"
    check "$label: PHP ran through the web server's module" has "$run/page.txt" "answers through apache2handler"
    check "$label: the database server answered" has "$run/page.txt" "Database server: 10."
    check "$label: the demo table was read" has "$run/page.txt" "<li>Bo: cook</li>"
    check "$label: the script saw TRH_APACHE_PORT" has "$run/page.txt" "TRH_APACHE_PORT = $web<"
    check "$label: the script saw TRH_MYSQL_PORT" has "$run/page.txt" "TRH_MYSQL_PORT = $db<"
}

# One whole run: start, page, the user closing the browser, stop.
whole_run() {  # whole_run stack run_dir label web_port db_port
    local stack=$1 run_dir=$2 label=$3 web=$4 db=$5
    hold_browser=1
    start_launcher "$stack" "$run_dir"
    check_started "$label"
    if [ -n "${launcher_display:-}" ] && [ -e "$stack/trailhost-desktop" ]; then
        check "$label: the desktop launcher runs it" \
            test "$(launcher_program)" = "$stack/trailhost-desktop"
        check "$label: the desktop launcher maps the window toolkit" maps_toolkit yes
    else
        check "$label: the launcher maps no window toolkit" maps_toolkit no
    fi
    release_browser
    wait_launcher 90
    check_page "$label" "$web" "$db"
    check_run_ended "$label"
}

# A copy of the demo stack (of `kind`: stack or stack-encrypted) in the case's folder, with
# htdocs/site.txt to be filled in for each run and the case's ports in web and db.
case_stack() {  # case_stack kind [Section:Key=Value...]
    stack="$case_dir/stack"
    cp -a "$demo/$1" "$stack"
    shift
    printf 'host=%%RMHUB:HOST%% port=%%RMHUB:PORT%%\n' >"$stack/htdocs/site.txt"
    web=$(pick_port)
    db=$(pick_port)
    write_config "$stack" "$web" "$db" 'AdditionalParsing:File1=htdocs\site.txt' "$@"
    remember "$stack/htdocs/site.txt"
}

# ---- the cases ------------------------------------------------------------------------------

# Two runs on one stack: the counter is written to the database files and read back by the
# second run. (The site file filled in while the run is open is the app tests' whole runs.)
case_plain() {
    local stack web db
    case_stack stack
    whole_run "$stack" "$case_dir/run1" "run 1" "$web" "$db"
    check "run 1: the counter went from 0 to 1" visits_are "$case_dir/run1/page.txt" 1
    whole_run "$stack" "$case_dir/run2" "run 2" "$web" "$db"
    check "run 2: the database kept the first visit (counter 2)" visits_are "$case_dir/run2/page.txt" 2
}

# The database comes only as the encrypted archive: it is unpacked into the runtime folder at
# each start, so the archive stays as it was and every run begins at the packed counter. Its
# server takes a few seconds to start, as from a slow stick: the page waits for it.
case_encrypted() {
    local stack web db
    case_stack stack-encrypted
    remember "$stack/dbdir.aes"
    printf '#!/bin/sh\nsleep 4\nexec %s "$@"\n' "$(readlink -f "$stack/server/mysql/bin/mysqld")" \
        >"$case_dir/slow-mysqld"
    rm "$stack/server/mysql/bin/mysqld"
    install -m 755 "$case_dir/slow-mysqld" "$stack/server/mysql/bin/mysqld"
    whole_run "$stack" "$case_dir/run" "encrypted" "$web" "$db"
    check "encrypted: the counter of the unpacked database went to 1" visits_are "$run/page.txt" 1
    check "encrypted: the database ran from the runtime folder" \
        grep -qE "TRH_DB_PATH = $temp_dir/Trailhost_[0-9]+/" "$run/page.txt"
    check "encrypted: no database folder was left in the stack" test ! -e "$stack/dbdir"
}

# KeepRunningAfterBrowserClose=1: the servers outlive the browser until a second copy started
# with -shutdown asks the first to stop (the real stop of the program, not the runner's).
case_keep() {
    local stack web db second
    # The second copy asks the first copy it finds among this user's: outside a namespace of our
    # own that could be another case's launcher, or one that is not ours at all.
    [ "$isolated" = 1 ] || { skip "-shutdown needs a network namespace of its own"; return; }
    case_stack stack General:KeepRunningAfterBrowserClose=1
    start_launcher "$stack" "$case_dir/run"
    check "keep: the browser hand-over ended" wait_for 60 has "$run/trace.txt" "Browser started"
    check "keep: the servers wrote their pid files" note_server_pids
    check_page keep "$web" "$db"
    check "keep: the site still answers after the browser ended" \
        http_get "$web" /index.php "$run/page2.txt"
    check "keep: the second visit was counted" visits_are "$run/page2.txt" 2
    check "keep: the launcher and the servers still run" \
        eval 'alive "$launcher_pid" && alive "$web_pid" && alive "$db_pid"'
    (run_launcher "$stack" -shutdown) </dev/null >"$run/second.txt" 2>&1 &
    second=$!
    wait_launcher 60
    check "keep: the -shutdown copy ended" wait_for 30 gone "$second"
    check_run_ended keep
}

# A display named in the environment: the launcher hands the run to the desktop launcher beside
# it, in the same process. This display cannot be opened, so that one runs it without windows.
# Without the desktop launcher the run goes on without windows, says so, and Ctrl+C in its
# terminal ends it as the tray's Close would. Its web server is then a shell script that runs the
# real server as its child, as site authors write them to set options: the stop ends it by what
# was kept at its start, not by the path of a program it does not run.
case_desktop() {
    local stack web db browser
    case_stack stack
    launcher_display=":$((500 + RANDOM % 400))"
    whole_run "$stack" "$case_dir/run1" "with a display" "$web" "$db"

    rm "$stack/trailhost-desktop"
    printf '#!/bin/sh\n# Runs the server with its options, as a child of this script.\n%s "$@"\n' \
        "$(readlink -f "$stack/server/Apache/Apache")" >"$case_dir/wrapper"
    rm "$stack/server/Apache/Apache"
    install -m 755 "$case_dir/wrapper" "$stack/server/Apache/Apache"
    hold_browser=1
    start_launcher "$stack" "$case_dir/run2"
    check_started ctrl+c
    check "ctrl+c: the launcher said it runs without windows" \
        has "$run/out.txt" "trailhost-desktop: No such file or directory; running without windows."
    browser=$(sed -n 's/^pid //p' "$run/browser.log")
    kill -INT "$launcher_pid"
    wait_launcher 60
    check_page ctrl+c "$web" "$db"
    check_run_ended ctrl+c
    check "ctrl+c: the browser the run opened is gone" gone "$browser"
}

# ---- the launcher killed -----------------------------------------------------------------------

journal_servers() { sed -n 's/^server\t\([0-9]*\)\t.*/\1/p' "$(runtime_folders | head -n1)/changes.journal" 2>/dev/null; }
hosts_blocks() { grep -c '^#---TRH_START---' /etc/hosts; }

# Kills the launcher with SIGKILL while the browser shows the page, then starts the stack again:
# the servers end with the killed launcher, the next start undoes the hosts block and the
# filled-in site file it left, and runs and ends as after a clean end, with the database's data
# kept. The site has a name of its own, in a hosts file of the case's own over /etc/hosts (in the
# case's mount namespace) in which this machine's name is the loopback address, so that it gets a
# real block. The other kill points run with the fake servers in the app tests.
case_crash() {
    local stack web db servers counter
    printf '127.0.0.1\tlocalhost\n127.0.0.1\t%s\n# the case'"'"'s own hosts file\n' "$(hostname)" \
        >"$case_dir/hosts"
    [ "$isolated" = 1 ] && mount --bind "$case_dir/hosts" /etc/hosts 2>/dev/null ||
        { skip "killing the launcher needs namespaces of its own (hosts file, ports)"; return; }
    cp /etc/hosts "$case_dir/hosts.orig"
    site_host=crash.test
    case_stack stack
    hold_browser=1
    start_launcher "$stack" "$case_dir/run1"
    check "killed: the browser got the page first" \
        wait_for 60 has "$run/browser.log" "status HTTP/1.1 200 OK"
    check "killed: both servers were written down" \
        wait_for 20 eval '[ "$(journal_servers | wc -l)" = 2 ]'
    servers=$(journal_servers)
    kill -9 "$launcher_pid"
    wait "$launcher_pid" 2>/dev/null
    check "killed: the hosts block was left behind" test "$(hosts_blocks)" = 1
    check "killed: the site file was left filled in" has "$stack/htdocs/site.txt" "host=$site_host"
    check "killed: both servers ended" wait_for 30 all_gone $servers
    # The browser is not tied to the launcher; it must not fetch the page again.
    release_browser
    hold_browser=0

    start_launcher "$stack" "$case_dir/run2"
    check "next start: the test browser fetched the page" wait_for 90 has "$run/browser.log" "exit"
    check "next start: one hosts block, not two" test "$(hosts_blocks)" = 1
    check "next start: the site file was filled in from its original" \
        has "$stack/htdocs/site.txt" "host=$site_host port=$web"
    check "next start: the killed run's folder is gone" test "$(runtime_folders | wc -l)" = 1
    check "next start: no server of the killed run is left" all_gone $servers
    check "next start: the servers wrote their pid files" note_server_pids
    wait_launcher 90
    check "next start: the page came from PHP and the database" has "$run/page.txt" "<li>Bo: cook</li>"
    counter=$(visits_on "$run/page.txt")
    check "next start: the database counted the visit ($counter)" test "${counter:-0}" -ge 1
    check_run_ended "after both"
    check "after both: the hosts file is as before" same_file "$case_dir/hosts.orig" /etc/hosts
}

# ---- main -----------------------------------------------------------------------------------

if [ "${1:-}" = "--case" ]; then
    # In the case's own process (and namespaces).
    src=$2 bin=$3 work=$4 isolated=$5 demo="$4/demo"
    begin_case "$6"
    temp_dir="$case_dir/tmp"
    stack_config=(Browser:BrowserType=CHROMIUM "Browser:BrowserPath=$bin/fake_browser"
        'Path:PathToApache=server\Apache\Apache' 'Path:PathToMySqlBin=server\mysql\bin'
        'Path:PathToMySqlShare=server\mysql\share')
    if [ "$isolated" = 1 ]; then
        check "the namespace's loopback is up" ip link set lo up || exit 0
    fi
    trap 'for pid in $(pids_in "$case_dir"); do kill -9 "$pid" 2>/dev/null; done' EXIT
    "case_$case_name"
    exit 0
fi

read_arguments "$@"

started=$SECONDS
if ! bash "$src/scripts/assemble-demo" "$bin" "$work/demo" >"$work/assemble.log" 2>&1; then
    cat "$work/assemble.log"
    echo "FAIL: the demo stack could not be assembled"
    exit 1
fi

isolated=0 namespace=()
[ -z "${E2E_NO_NAMESPACE:-}" ] && unshare -nm true 2>/dev/null && command -v ip >/dev/null &&
    isolated=1 namespace=(unshare -nm)
echo "demo stack assembled in $((SECONDS - started)) s; own network namespaces: $isolated"

cases=${E2E_CASES:-plain encrypted keep desktop crash}
for c in $cases; do
    "${namespace[@]}" bash "$self" --case "$src" "$bin" "$work" "$isolated" "$c" &
done
wait

collect_results end-to-end "$((SECONDS - started))" "$cases" 'run*/trace.txt' 'run*/out.txt'
write_result_xml e2e_linux "$xml"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
