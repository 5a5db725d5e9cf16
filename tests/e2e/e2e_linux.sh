#!/usr/bin/env bash
# Whole runs of the launcher binary on the demo stack with the real Apache, PHP and MariaDB:
#   e2e_linux.sh SOURCE_DIR BIN_DIR WORK_DIR RESULT_XML
# Assembles the demo stack under WORK_DIR, gives each case a copy of it with a hub_config.ini of
# its own (free ports, HostName=127.0.0.1 so that no hosts entry is made, the test browser as an
# CHROMIUM-family browser, which is followed directly) and runs the cases side by side. Where the machine allows it each case runs in
# a network namespace of its own: its ports, and the local sockets by which a second copy finds
# the first, are then its own, and the fallback ports can be taken without touching the machine's.
# E2E_NO_NAMESPACE=1 runs the cases in the machine's own network (the cases that need a namespace
# are skipped then). Every check is one line "ok|FAIL|skip <case>: <what>"; RESULT_XML counts
# them for scripts/test.
set -uo pipefail

self=$(readlink -f "$0")

# check, skip, wait_for, listening, pick_port, has, same_file, http_get and the summary.
. "$(dirname "$self")/e2e_common.sh"

# ---- helpers used inside a case -------------------------------------------------------------

# The processes whose command line names this case's folder: the servers (their configuration
# files lie in the runtime folder under it) and the launcher itself; not the port blockers.
ours() {
    local f pid command
    for f in /proc/[0-9]*/cmdline; do
        pid=${f#/proc/}
        pid=${pid%/cmdline}
        case " $blockers " in *" $pid "*) continue ;; esac
        # Read by a program whose own command line does not name the folder.
        command=$(tr '\0' ' ' 2>/dev/null <"$f")
        [[ $command == *"$case_dir/"* ]] && echo "$pid"
    done
}

none_of_ours() { [ -z "$(ours)" ]; }
# An id must be given: kill -0 with an empty id fails, but with 0 it reaches the process group.
# A zombie has ended: a process whose launcher died is reaped by whoever adopts it, maybe never.
state_of() { sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -c1; }
alive() { [ -n "$1" ] && [ "$1" != 0 ] && kill -0 "$1" 2>/dev/null && [ "$(state_of "$1")" != Z ]; }
gone() { [ -n "$1" ] && [ "$1" != 0 ] && ! alive "$1"; }
servers_alive() { alive "$web_pid" && alive "$db_pid"; }
runtime_folders() { find "$case_dir/tmp" -maxdepth 1 -name 'Trailhost_*' 2>/dev/null; }
no_runtime_folder() { [ -z "$(runtime_folders)" ]; }
visits_on() { grep -o '<span id="visits">[0-9]*</span>' "$1" 2>/dev/null | tr -dc 0-9; }
visits_are() { [ "$(visits_on "$1")" = "$2" ]; }

cleanup_case() {
    local pid
    for pid in $(ours) $blockers; do kill -9 "$pid" 2>/dev/null; done
}

# A section may appear only once in the file (the reader takes the first), so extra keys come as
# "Section:Key=Value" and are written into their section; other lines go to the end as they are.
write_config() {  # write_config stack web_port db_port extra-lines...
    local stack=$1 web=$2 db=$3
    shift 3
    local extra=("$@")
    section_extra() {
        local line
        for line in "${extra[@]}"; do
            case $line in "$1":*) echo "${line#"$1":}" ;; esac
        done
    }
    {
        echo "[General]"
        echo "ServerName=E2E $case_name"
        echo "UseSplash=0"
        echo "ShowTrayIcon=0"
        echo "AllowOnlySingleInstance=0"
        section_extra General
        echo "[http]"
        section_extra http
        echo "Port=$web"
        echo "HostName=127.0.0.1"
        echo "DeleteHttpTemp=1"
        echo "[Browser]"
        echo "BrowserType=CHROMIUM"
        echo "BrowserPath=$bin/fake_browser"
        echo "[database]"
        echo "UseMySQL=1"
        echo "MySQLPort=$db"
        section_extra database
        echo "[Path]"
        echo 'PathToApache=server\Apache\Apache'
        echo 'PathToMySqlBin=server\mysql\bin'
        echo 'PathToMySqlShare=server\mysql\share'
        local line
        for line in "${extra[@]}"; do
            case $line in *:*=*) ;; *) echo "$line" ;; esac
        done
    } >"$stack/hub_config.ini"
}

# Starts the launcher of `stack` in the background; run_dir receives its trace, the browser's log
# and page. Sets launcher_pid.
start_launcher() {  # start_launcher stack run_dir
    local stack=$1 run=$2
    mkdir -p "$run" "$case_dir/tmp"
    mkdir -p -m 700 "$case_dir/xdg"
    web_pid="" db_pid=""
    env -u DISPLAY -u WAYLAND_DISPLAY ${launcher_display:+DISPLAY=$launcher_display} \
        TMPDIR="$case_dir/tmp" XDG_RUNTIME_DIR="$case_dir/xdg" TRH_TRACE="$run/trace.txt" \
        FAKE_BROWSER_LOG="$run/browser.log" FAKE_BROWSER_PAGE="$run/page.txt" \
        "$stack/trailhost" >"$run/out.txt" 2>&1 &
    launcher_pid=$!
}

# The launcher's program, and whether it has mapped a library of the window toolkit; read while
# it runs.
launcher_program() { readlink "/proc/$launcher_pid/exe"; }
maps_toolkit() {  # maps_toolkit yes|no
    local maps
    maps=$(cat "/proc/$launcher_pid/maps" 2>/dev/null) && [ -n "$maps" ] || return 1
    if [ "$1" = yes ]; then grep -q libQt6Widgets <<<"$maps"; else ! grep -q libQt6 <<<"$maps"; fi
}

# While the servers run: their ids from the pid files in the runtime folder.
note_server_pids() {  # note_server_pids run_dir
    local rt
    rt=$(runtime_folders | head -n1)
    [ -n "$rt" ] || return 1
    wait_for 20 test -s "$rt/httpd.pid" -a -s "$rt/mysqld.pid" || return 1
    web_pid=$(tr -dc 0-9 <"$rt/httpd.pid")
    db_pid=$(tr -dc 0-9 <"$rt/mysqld.pid")
    echo "$web_pid $db_pid" >"$1/server_pids"
}

# Waits for the launcher to end; sets launcher_rc (124 when it did not end in time).
wait_launcher() {  # wait_launcher seconds
    if wait_for "$1" gone "$launcher_pid"; then
        wait "$launcher_pid"
        launcher_rc=$?
    else
        launcher_rc=124
    fi
}

# The checks every finished run shares.
check_run_ended() {  # check_run_ended run_dir label
    local run=$1 label=$2
    check "$label: the launcher ended by itself with 0" test "$launcher_rc" = 0
    check "$label: the web server ($web_pid) is gone" gone "$web_pid"
    check "$label: the database server ($db_pid) is gone" gone "$db_pid"
    check "$label: no process of this stack is left" none_of_ours
    check "$label: the runtime folder is removed (DeleteHttpTemp=1)" no_runtime_folder
}

# The page the test browser fetched: PHP ran, the database answered with the demo rows, and the
# launcher's variables reached the script.
check_page() {  # check_page run_dir label web_port db_port
    local run=$1 label=$2 web=$3 db=$4 url
    if [ "$web" = 80 ]; then url="http://127.0.0.1/index.php"; else url="http://127.0.0.1:$web/index.php"; fi
    check "$label: the browser was given $url" has "$run/browser.log" "arg=$url"
    check "$label: the page was served (200)" has "$run/browser.log" "status HTTP/1.1 200 OK"
    check "$label: PHP ran through the web server's module" has "$run/page.txt" "answers through apache2handler"
    check "$label: the database server answered" has "$run/page.txt" "Database server: 10."
    check "$label: the demo table was read" has "$run/page.txt" "<li>Bo: cook</li>"
    check "$label: the script saw TRH_APACHE_PORT" has "$run/page.txt" "TRH_APACHE_PORT = $web<"
    check "$label: the script saw TRH_MYSQL_PORT" has "$run/page.txt" "TRH_MYSQL_PORT = $db<"
}

# One whole run: start, page, browser exit, stop. Leaves the page in run_dir.
whole_run() {  # whole_run stack run_dir label web_port db_port
    local stack=$1 run=$2 label=$3 web=$4 db=$5
    # The test browser stays open after its fetch until the test closes it, as a user would.
    export FAKE_BROWSER_UNTIL="$run/browser-closed"
    start_launcher "$stack" "$run"
    unset FAKE_BROWSER_UNTIL
    check "$label: the test browser fetched the page" \
        wait_for 60 has "$run/browser.log" "holding"
    check "$label: the servers wrote their pid files" note_server_pids "$run"
    check "$label: the servers run while the browser is open" servers_alive
    if [ -n "${launcher_display:-}" ] && [ -e "$stack/trailhost-desktop" ]; then
        check "$label: the desktop launcher runs it" \
            test "$(launcher_program)" = "$stack/trailhost-desktop"
        check "$label: the desktop launcher maps the window toolkit" maps_toolkit yes
    else
        check "$label: the launcher maps no window toolkit" maps_toolkit no
    fi
    touch "$run/browser-closed"
    wait_launcher 90
    check_page "$run" "$label" "$web" "$db"
    check_run_ended "$run" "$label"
}

# ---- the cases ------------------------------------------------------------------------------

# Two runs on one stack: the counter is written to the database files and read back by the
# second run; a file named for additional parsing is filled during the run and restored after.
case_plain() {
    local stack="$case_dir/stack" web db
    cp -a "$demo/stack" "$stack"
    printf 'port=%%RMHUB:PORT%%\n' >"$stack/htdocs/port.txt"
    cp "$stack/htdocs/port.txt" "$case_dir/port.orig"
    web=$(pick_port)
    db=$(pick_port)
    write_config "$stack" "$web" "$db" "[AdditionalParsing]" 'File1=htdocs\port.txt'

    start_launcher "$stack" "$case_dir/run1"
    check "run 1: the test browser fetched the page" \
        wait_for 60 has "$case_dir/run1/browser.log" "exit"
    check "run 1: the servers wrote their pid files" note_server_pids "$case_dir/run1"
    check "run 1: the parsed site file holds this run's port" has "$stack/htdocs/port.txt" "port=$web"
    check "run 1: the parsed site file's original is kept as .bak" \
        same_file "$case_dir/port.orig" "$stack/htdocs/port.txt.bak"
    wait_launcher 90
    check_page "$case_dir/run1" "run 1" "$web" "$db"
    check "run 1: the counter went from 0 to 1" visits_are "$case_dir/run1/page.txt" 1
    check_run_ended "$case_dir/run1" "run 1"
    check "run 1: the parsed site file is restored" same_file "$case_dir/port.orig" "$stack/htdocs/port.txt"
    check "run 1: the .bak file is gone" test ! -e "$stack/htdocs/port.txt.bak"

    whole_run "$stack" "$case_dir/run2" "run 2" "$web" "$db"
    check "run 2: the database kept the first visit (counter 2)" visits_are "$case_dir/run2/page.txt" 2
}

# The database comes only as the encrypted archive: it is unpacked into the runtime folder at
# each start, so the archive stays as it was and every run begins at the packed counter.
case_encrypted() {
    local stack="$case_dir/stack" web db
    cp -a "$demo/stack-encrypted" "$stack"
    cp "$stack/dbdir.aes" "$case_dir/dbdir.aes.orig"
    web=$(pick_port)
    db=$(pick_port)
    write_config "$stack" "$web" "$db"
    whole_run "$stack" "$case_dir/run" "encrypted" "$web" "$db"
    check "encrypted: the counter of the unpacked database went to 1" visits_are "$case_dir/run/page.txt" 1
    check "encrypted: the database ran from the runtime folder" \
        grep -qE "TRH_DB_PATH = $case_dir/tmp/Trailhost_[0-9]+/" "$case_dir/run/page.txt"
    check "encrypted: the archive is unchanged" same_file "$case_dir/dbdir.aes.orig" "$stack/dbdir.aes"
    check "encrypted: no database folder was left in the stack" test ! -e "$stack/dbdir"
}

# Both configured ports are taken: each server moves to the first free port of its fallback list
# (80 and 3306 in a namespace of our own).
case_fallback() {
    local stack="$case_dir/stack" web db expected_web expected_db p
    expected_web=$(first_free_port 80 81 8080 8081)
    expected_db=$(first_free_port 3306 7188 7189 7190)
    if [ "$isolated" != 1 ] || [ -z "$expected_web" ] || [ -z "$expected_db" ]; then
        skip "the fallback ports are taken or the machine's own (no network namespace)"
        return
    fi
    cp -a "$demo/stack" "$stack"
    web=$(pick_port)
    db=$(pick_port)
    for p in "$web" "$db"; do
        mkdir -p "$case_dir/blocker$p"
        echo "Listen $p" >"$case_dir/blocker$p/httpd.conf"
        "$bin/fake_web" -f "$case_dir/blocker$p/httpd.conf" >/dev/null 2>&1 &
        blockers="$blockers $!"
    done
    check "fallback: the configured ports are taken" wait_for 10 listening "$web"
    wait_for 10 listening "$db"
    write_config "$stack" "$web" "$db"
    whole_run "$stack" "$case_dir/run" "fallback" "$expected_web" "$expected_db"
    check "fallback: the blockers kept their ports" listening "$web"
}

# KeepRunningAfterBrowserClose=1: the servers outlive the browser until a second copy started
# with -shutdown asks the first to stop.
case_keep() {
    local stack="$case_dir/stack" web db run="$case_dir/run" second
    # The second copy asks the first copy it finds among this user's: outside a namespace of our
    # own that could be another case's launcher, or one that is not ours at all.
    if [ "$isolated" != 1 ]; then
        skip "-shutdown needs a network namespace of its own"
        return
    fi
    cp -a "$demo/stack" "$stack"
    web=$(pick_port)
    db=$(pick_port)
    write_config "$stack" "$web" "$db" "General:KeepRunningAfterBrowserClose=1"
    start_launcher "$stack" "$run"
    check "keep: the test browser fetched the page" wait_for 60 has "$run/browser.log" "exit"
    check "keep: the servers wrote their pid files" note_server_pids "$run"
    check "keep: the browser hand-over ended" wait_for 60 has "$run/trace.txt" "Browser started"
    check_page "$run" "keep" "$web" "$db"
    check "keep: the site still answers after the browser ended" \
        http_get "$web" /index.php "$run/page2.txt"
    check "keep: the second visit was counted" visits_are "$run/page2.txt" 2
    check "keep: the launcher still runs" alive "$launcher_pid"
    check "keep: the web server still runs" alive "$web_pid"
    check "keep: the database server still runs" alive "$db_pid"

    env -u DISPLAY -u WAYLAND_DISPLAY TMPDIR="$case_dir/tmp" XDG_RUNTIME_DIR="$case_dir/xdg" \
        "$stack/trailhost" -shutdown \
        >"$run/second.txt" 2>&1 &
    second=$!
    wait_launcher 60
    check "keep: the -shutdown copy ended" wait_for 30 gone "$second"
    check_run_ended "$run" "keep"
}

# The stack as on a CD-ROM: read-only, the database copied to a mirror folder that the run uses
# and keeps, the stack's own database files left as they were.
tree_sum() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 md5sum); }
case_mirror() {
    local stack="$case_dir/stack" web db
    cp -a "$demo/stack" "$stack"
    web=$(pick_port)
    db=$(pick_port)
    write_config "$stack" "$web" "$db" "database:LocalMirror=1" "database:MirrorFolder=$case_dir/mirror/"
    tree_sum "$stack/dbdir" >"$case_dir/dbdir.sum"
    chmod -R a-w "$stack"
    whole_run "$stack" "$case_dir/run" "mirror" "$web" "$db"
    chmod -R u+w "$stack"
    check "mirror: the database ran from the mirror folder" \
        has "$case_dir/run/page.txt" "TRH_DB_PATH = $case_dir/mirror/<"
    check "mirror: the counter of the mirrored database went to 1" visits_are "$case_dir/run/page.txt" 1
    check "mirror: the mirror folder is kept with the demo database" test -d "$case_dir/mirror/demo"
    check "mirror: the stack's database files are unchanged" \
        cmp -s "$case_dir/dbdir.sum" <(tree_sum "$stack/dbdir")
}

# The stack's database admin tool replaced by one that only writes down what it was asked.
database_ignores_shutdown() {
    rm "$1/server/mysql/bin/mysqladmin"
    printf '#!/bin/sh\necho "$*" >>"%s"\n' "$case_dir/admin.log" >"$1/server/mysql/bin/mysqladmin"
    chmod 755 "$1/server/mysql/bin/mysqladmin"
}

# A database server that does not stop when asked (its admin tool does nothing): the launcher
# ends it itself.
case_dbhang() {
    local stack="$case_dir/stack" web db
    cp -a "$demo/stack" "$stack"
    database_ignores_shutdown "$stack"
    web=$(pick_port)
    db=$(pick_port)
    write_config "$stack" "$web" "$db"
    whole_run "$stack" "$case_dir/run" "db that does not stop" "$web" "$db"
    check "db that does not stop: the launcher asked it to stop first" has "$case_dir/admin.log" "shutdown"
}

# Ctrl+C in the terminal of a run without a display: the close path runs as for the tray's
# Close. The web server here is a shell script that runs the real server as its child, as site
# authors write them to set options: the stop ends it by what was kept at its start, not by the
# path of a program it does not run.
case_sigint() {
    local stack="$case_dir/stack" web db run="$case_dir/run" browser
    cp -a "$demo/stack" "$stack"
    printf '#!/bin/sh\n# Runs the server with its options, as a child of this script.\n%s "$@"\n' \
        "$(readlink -f "$stack/server/Apache/Apache")" >"$case_dir/wrapper"
    rm "$stack/server/Apache/Apache"
    install -m 755 "$case_dir/wrapper" "$stack/server/Apache/Apache"
    printf 'port=%%RMHUB:PORT%%\n' >"$stack/htdocs/site.txt"
    cp "$stack/htdocs/site.txt" "$case_dir/site.orig"
    web=$(pick_port)
    db=$(pick_port)
    write_config "$stack" "$web" "$db" "[AdditionalParsing]" 'File1=htdocs\site.txt'
    export FAKE_BROWSER_UNTIL="$run/never"
    start_launcher "$stack" "$run"
    unset FAKE_BROWSER_UNTIL
    check "ctrl+c: the test browser fetched the page" wait_for 60 has "$run/browser.log" "holding"
    check "ctrl+c: the servers wrote their pid files" note_server_pids "$run"
    browser=$(sed -n 's/^pid //p' "$run/browser.log")
    kill -INT "$launcher_pid"
    wait_launcher 60
    check_page "$run" "ctrl+c" "$web" "$db"
    check_run_ended "$run" "ctrl+c"
    check "ctrl+c: the browser the run opened is gone" gone "$browser"
    check "ctrl+c: the site file is as before" same_file "$case_dir/site.orig" "$stack/htdocs/site.txt"
    check "ctrl+c: no .bak is left" test ! -e "$stack/htdocs/site.txt.bak"
}

# A display named in the environment: the launcher hands the run to the desktop launcher beside
# it, in the same process. This display cannot be opened, so that one runs it without windows.
# Without the desktop launcher the run goes on without windows, and says so.
case_desktop() {
    local stack="$case_dir/stack" web db
    cp -a "$demo/stack" "$stack"
    web=$(pick_port)
    db=$(pick_port)
    write_config "$stack" "$web" "$db"
    launcher_display=":$((500 + RANDOM % 400))"
    whole_run "$stack" "$case_dir/run1" "with a display" "$web" "$db"
    rm "$stack/trailhost-desktop"
    whole_run "$stack" "$case_dir/run2" "no desktop launcher" "$web" "$db"
    check "no desktop launcher: the launcher said it runs without windows" \
        has "$case_dir/run2/out.txt" "trailhost-desktop: No such file or directory; running without windows."
    unset launcher_display
}

# ---- the launcher killed -----------------------------------------------------------------------

# A hosts file of the case's own over /etc/hosts (in the case's mount namespace), in which this
# machine's name is the loopback address, so that a host name of the site's own gets a real block.
own_hosts_file() {
    printf '127.0.0.1\tlocalhost\n127.0.0.1\t%s\n# the case'"'"'s own hosts file\n' "$(hostname)" \
        >"$case_dir/hosts"
    cp "$case_dir/hosts" "$case_dir/hosts.orig"
    mount --bind "$case_dir/hosts" /etc/hosts 2>/dev/null
}

journal_has() { grep -q "^$1	" "$(runtime_folders | head -n1)/changes.journal" 2>/dev/null; }
journal_servers() { sed -n 's/^server\t\([0-9]*\)\t.*/\1/p' "$(runtime_folders | head -n1)/changes.journal"; }
journal_has_both_servers() { [ "$(journal_servers | wc -l)" = 2 ]; }
hosts_blocks() { grep -c '^#---TRH_START---' /etc/hosts; }
all_gone() { local p; for p in "$@"; do alive "$p" && return 1; done; return 0; }

# Kills the launcher with SIGKILL at one point of a run, then starts the stack again: the servers
# end with the killed launcher, the next start undoes the hosts block and the expanded site file
# it left, and runs and ends as after a clean end, with the database's data kept.
crash_case() {  # crash_case start|browser|stop
    local point=$1 stack="$case_dir/stack" web db servers counter
    if [ "$isolated" != 1 ] || ! own_hosts_file; then
        skip "killing the launcher needs namespaces of its own (hosts file, ports)"
        return
    fi
    cp -a "$demo/stack" "$stack"
    printf 'host=%%RMHUB:HOST%% port=%%RMHUB:PORT%%\n' >"$stack/htdocs/site.txt"
    cp "$stack/htdocs/site.txt" "$case_dir/site.orig"
    web=$(pick_port)
    db=$(pick_port)
    write_config "$stack" "$web" "$db" "http:HostName=crash-$point.test" \
        "[AdditionalParsing]" 'File1=htdocs\site.txt'

    # Killed while stopping: the database server does not stop when asked, so the stop waits for
    # it with the web server gone and nothing put back yet.
    [ "$point" = stop ] && database_ignores_shutdown "$stack"
    # With the browser open: the test browser stays after its fetch until the launcher is killed.
    [ "$point" = browser ] && export FAKE_BROWSER_STAY_MS=60000
    start_launcher "$stack" "$case_dir/run1"
    unset FAKE_BROWSER_STAY_MS
    case $point in
        start)
            # As soon as the web server is written down: the database server is on its way and
            # the site does not answer yet.
            check "killed at start: the run wrote its web server down" wait_for 60 journal_has server
            ;;
        browser)
            check "killed with the browser open: the browser got the page" \
                wait_for 60 has "$case_dir/run1/browser.log" "status HTTP/1.1 200 OK"
            check "killed with the browser open: both servers were written down" \
                wait_for 20 journal_has_both_servers
            ;;
        stop)
            check "killed while stopping: the browser fetched the page and ended" \
                wait_for 60 has "$case_dir/run1/browser.log" "exit"
            check "killed while stopping: the stop asked the database server to stop" \
                wait_for 30 has "$case_dir/admin.log" "shutdown"
            ;;
    esac
    servers=$(journal_servers)
    kill -9 "$launcher_pid"
    wait "$launcher_pid" 2>/dev/null
    check "killed at $point: the hosts block was left behind" test "$(hosts_blocks)" = 1
    check "killed at $point: the site file was left expanded" has "$stack/htdocs/site.txt" "host=crash-$point.test"
    if [ "$point" = start ]; then
        # A database server that is still starting up ignores SIGTERM; the next start ends it.
        check "killed at start: the web server ended with the launcher" \
            wait_for 30 all_gone "${servers%%[[:space:]]*}"
    else
        check "killed at $point: both servers ended" wait_for 30 all_gone $servers
    fi
    # The browser is not tied to the launcher; it must not fetch the page again.
    pkill -f "fake_browser.*crash-$point.test" 2>/dev/null

    start_launcher "$stack" "$case_dir/run2"
    check "next start: the test browser fetched the page" wait_for 90 has "$case_dir/run2/browser.log" "exit"
    check "next start: one hosts block, not two" test "$(hosts_blocks)" = 1
    check "next start: the site file was expanded from its original" \
        has "$stack/htdocs/site.txt" "host=crash-$point.test port=$web"
    check "next start: the killed run's folder is gone" test "$(runtime_folders | wc -l)" = 1
    check "next start: no server of the killed run is left" all_gone $servers
    check "next start: the servers wrote their pid files" note_server_pids "$case_dir/run2"
    wait_launcher 90
    check "next start: the launcher ended by itself with 0" test "$launcher_rc" = 0
    check "next start: the page came from PHP and the database" has "$case_dir/run2/page.txt" "<li>Bo: cook</li>"
    counter=$(visits_on "$case_dir/run2/page.txt")
    check "next start: the database counted the visit ($counter)" test "${counter:-0}" -ge 1
    check "after both: the hosts file is as before" same_file "$case_dir/hosts.orig" /etc/hosts
    check "after both: the site file is as before" same_file "$case_dir/site.orig" "$stack/htdocs/site.txt"
    check "after both: no .bak is left" test ! -e "$stack/htdocs/site.txt.bak"
    check "after both: no runtime folder is left" no_runtime_folder
    check "after both: no process of this stack is left" none_of_ours
}

case_crash_start() { crash_case start; }
case_crash_browser() { crash_case browser; }
case_crash_stop() { crash_case stop; }

run_case() {  # in the case's own process (and namespace)
    case_name=$1
    case_dir="$work/$case_name"
    results="$case_dir/results"
    given=""
    blockers=""
    mkdir -p "$case_dir"
    : >"$results"
    if [ "$isolated" = 1 ]; then
        ip link set lo up || { echo "FAIL $case_name: loopback in the namespace" >>"$results"; return; }
    fi
    trap cleanup_case EXIT
    "case_$case_name"
}

# ---- main -----------------------------------------------------------------------------------

if [ "${1:-}" = "--case" ]; then
    src=$2 bin=$3 work=$4 isolated=$5 demo="$4/demo"
    run_case "$6"
    exit 0
fi

read_arguments "$@"

started=$SECONDS
if ! bash "$src/scripts/assemble-demo" "$bin" "$work/demo" >"$work/assemble.log" 2>&1; then
    cat "$work/assemble.log"
    echo "FAIL: the demo stack could not be assembled"
    exit 1
fi

isolated=0
if [ -z "${E2E_NO_NAMESPACE:-}" ] && unshare -nm true 2>/dev/null && command -v ip >/dev/null; then
    isolated=1
fi
echo "demo stack assembled in $((SECONDS - started)) s; own network namespaces: $isolated"

# E2E_CASES picks some of the cases, for a quicker look at one of them.
cases=${E2E_CASES:-plain encrypted fallback keep mirror dbhang sigint desktop crash_start crash_browser
    crash_stop}
pids=""
for c in $cases; do
    if [ "$isolated" = 1 ]; then
        # A mount namespace too: a case may put a hosts file of its own over /etc/hosts.
        unshare -nm bash "$self" --case "$src" "$bin" "$work" 1 "$c" &
    else
        bash "$self" --case "$src" "$bin" "$work" 0 "$c" &
    fi
    pids="$pids $!"
done
for p in $pids; do wait "$p"; done

collect_results end-to-end "$((SECONDS - started))" $cases

if [ "$failed" -gt 0 ]; then
    for c in $cases; do
        for out in "$work/$c"/run*/trace.txt "$work/$c"/run*/out.txt; do
            [ -f "$out" ] && { echo "--- $out"; tail -n 30 "$out"; }
        done
    done
fi

write_result_xml e2e_linux "$xml"

[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
