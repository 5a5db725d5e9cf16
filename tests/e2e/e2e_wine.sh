#!/usr/bin/env bash
# Whole runs of trailhost.exe under Wine, with the test helpers as its servers and browser:
#   e2e_wine.sh SOURCE_DIR BIN_DIR WORK_DIR RESULT_XML
# BIN_DIR is the Windows build's bin folder. Wine runs in that build's own prefix (the one
# cmake/wine-run uses), on the caller's display, or on a virtual one of its own when there is
# none. Each case gets a stack folder under WORK_DIR with the launcher, fake_web, fake_db and
# fake_dbadmin at the places the launcher looks for the servers, and fake_browser as a CHROMIUM
# browser: that starter watches the process it starts, where EXTERNAL would pause 26 s and then
# look for a browser window, which the windowless test browser never shows.
#
# The cases run one after another: every browser start changes ProxyOverride in the prefix's
# registry, a site with a name of its own changes the prefix's hosts file, and -shutdown closes
# the first launcher it finds on the Wine desktop. Wine resolves host names through the
# machine's resolver, never through the prefix's hosts file; a run whose site has a name of its
# own therefore runs in a private mount namespace in which /etc/hosts is a copy of the machine's
# with that name added (the machine's file itself is never written).
#
# Every check is one line "ok|FAIL|skip <case>: <what>"; RESULT_XML counts them for scripts/test.
# E2E_CASES picks some of the cases. New cases are functions case_<name> (see "the cases").
set -uo pipefail

self=$(readlink -f "$0")
# check, skip, wait_for, listening, pick_port, first_free_port, has, same_file, http_get, and
# the summary.
. "$(dirname "$self")/e2e_common.sh"

# ---- Wine -----------------------------------------------------------------------------------

# The Windows form of an absolute Linux path: Wine shows the Linux file system as drive Z:.
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

# A Wine program's standard output with its line ends made Linux ones; Wine's own messages and
# the program's standard error are dropped.
wine_out() { wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }

# The processes Wine lists, one a line: "<Windows id><TAB><executable path>".
wine_processes() { wine_out "$bin/process_table.exe"; }

# A process that has ended but that nobody reaped (a Wine process whose parent ended is left to
# an init that may never reap it) counts as ended.
linux_alive() {
    local stat
    [ -n "$1" ] && [ "$1" != 0 ] || return 1
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [ "${stat%% *}" != Z ]
}
linux_gone() { [ -n "$1" ] && ! linux_alive "$1"; }

# ---- the prefix's hosts file and proxy exceptions --------------------------------------------

proxy_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'

# The ProxyOverride value of the prefix's Internet settings; status 1 when there is none.
proxy_override_get() {
    local line
    line=$(wine_out reg query "$proxy_key" /v ProxyOverride | grep -m1 '^ *ProxyOverride  *REG_SZ') ||
        return 1
    printf '%s' "${line#*REG_SZ    }"
}
proxy_override_set() { wine_out reg add "$proxy_key" /v ProxyOverride /t REG_SZ /d "$1" /f >/dev/null; }
proxy_override_unset() { wine_out reg delete "$proxy_key" /v ProxyOverride /f >/dev/null; }
proxy_override_is() { local v; v=$(proxy_override_get) && [ "$v" = "$1" ]; }

# The prefix's hosts file (hosts_file, set below), which the launcher finds under the Windows
# system folder, is read and compared as it is.

# The hosts file is `before` byte for byte with the launcher's marked block for `host` after it:
# an empty line, the start mark, an IPv4 address, a tab and the host, the end mark (CR LF ends).
hosts_is_before_plus_block() {  # hosts_is_before_plus_block before_file host
    local size block
    size=$(stat -c %s "$1")
    cmp -s -n "$size" "$1" "$hosts_file" || return 1
    block=$(tail -c +"$((size + 1))" "$hosts_file" | od -An -c | tr -d ' \n')
    [[ $block =~ ^\\r\\n#---TRH_START---\\r\\n[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+\\t"$2"\\r\\n#---TRH_END---\\r\\n$ ]]
}

# ---- this case's processes ------------------------------------------------------------------

# As Wine lists them: "<Windows id><TAB><path>" of the processes whose executable lies in this
# case's folder (the launcher, the servers, the browser; not the port blockers).
case_wine_processes() {
    # Through the environment: awk -v would read the backslashes as escapes.
    wine_processes | DIR="$(winpath "$case_dir")\\" \
        awk -F'\t' 'index(tolower($2), tolower(ENVIRON["DIR"])) == 1'
}

# The Windows ids of this case's processes that run the executable at `relative` (below the
# case's folder, '/' separators).
case_wine_ids_of() {  # case_wine_ids_of relative
    local path
    path=$(winpath "$case_dir/$1")
    case_wine_processes | P=$path awk -F'\t' 'tolower($2) == tolower(ENVIRON["P"]) { print $1 }'
}

# The Linux ids of the live processes whose command line names this case's folder, in Linux or
# in Windows form: the launcher (started by its Linux path), what it started (Wine gives them
# their Windows command line), the port blockers excepted.
case_linux_pids() {
    local f pid command unix_dir="$case_dir/" win_dir
    win_dir="$(winpath "$case_dir")\\"
    for f in /proc/[0-9]*/cmdline; do
        pid=${f#/proc/}
        pid=${pid%/cmdline}
        case " $blockers $$ $BASHPID " in *" $pid "*) continue ;; esac
        command=$(tr '\0' ' ' 2>/dev/null <"$f")
        if [[ $command == *"$unix_dir"* || ${command,,} == *"${win_dir,,}"* ]] && linux_alive "$pid"; then
            echo "$pid"
        fi
    done
}

# The Linux ids of this case's processes whose program (the first word of the command line) is
# the executable at `relative`.
case_linux_ids_of() {  # case_linux_ids_of relative
    local pid first path
    path=$(winpath "$case_dir/$1")
    for pid in $(case_linux_pids); do
        first=$(tr '\0' '\n' 2>/dev/null <"/proc/$pid/cmdline" | head -n1)
        [ "${first,,}" = "${path,,}" ] && echo "$pid"
    done
}

no_case_linux_processes() { [ -z "$(case_linux_pids)" ]; }
no_case_wine_processes() { [ -z "$(case_wine_processes)" ]; }
wine_lists() { [ -n "$1" ] && wine_processes | awk -F'\t' -v id="$1" '$1 == id { found = 1 } END { exit !found }'; }
wine_does_not_list() { [ -n "$1" ] && ! wine_lists "$1"; }

# ---- the launcher ---------------------------------------------------------------------------

# Starts the launcher of `stack` (a folder in the case's folder) in the background with the
# arguments given. run_dir receives its trace, standard output and error, and the browser's log
# and page. With hold_browser=1 the browser stays open after its fetch until release_browser.
# With site_host set, the run resolves that name to 127.0.0.1 (a private mount namespace; see the
# top of the file). Sets run (the run folder that the shared checks read), launcher_pid (Linux)
# and launcher_winpid (Windows; empty when Wine never listed it), and adds the Windows id to
# started_winpids.
start_launcher() {  # start_launcher stack run_dir [argument...]
    local stack=$1 run_dir=$2 program before
    shift 2
    program=${stack#"$case_dir"/}/trailhost.exe
    mkdir -p "$run_dir"
    run=$run_dir
    browser_release="$run_dir/close-browser"
    rm -f "$browser_release"
    local -a vars=(TRH_TRACE="$(winpath "$run_dir/trace.txt")"
        FAKE_BROWSER_LOG="$(winpath "$run_dir/browser.log")"
        FAKE_BROWSER_PAGE="$(winpath "$run_dir/page.txt")")
    if [ "${hold_browser:-0}" = 1 ]; then
        vars+=(FAKE_BROWSER_UNTIL="$(winpath "$browser_release")")
    fi
    before=$(case_wine_ids_of "$program" | tr '\n' ' ')
    if [ -n "${site_host:-}" ]; then
        { cat /etc/hosts; printf '127.0.0.1\t%s\n' "$site_host"; } >"$case_dir/resolver-hosts"
        env "${vars[@]}" unshare -m sh -c 'mount --bind "$0" /etc/hosts && exec "$@"' \
            "$case_dir/resolver-hosts" wine "$stack/trailhost.exe" "$@" </dev/null >"$run_dir/out.txt" 2>&1 &
    else
        env "${vars[@]}" wine "$stack/trailhost.exe" "$@" </dev/null >"$run_dir/out.txt" 2>&1 &
    fi
    launcher_pid=$!
    launcher_winpid=""
    wait_for 30 note_new_launcher "$program" "$before"
    started_winpids="$started_winpids $launcher_winpid"
}

# Sets launcher_winpid to a Windows id of `program` that is not among `before`.
note_new_launcher() {  # note_new_launcher relative_program "ids before"
    local id
    for id in $(case_wine_ids_of "$1"); do
        case " $2 " in *" $id "*) ;; *) launcher_winpid=$id && return 0 ;; esac
    done
    return 1
}

# Lets the held browser end by itself.
release_browser() { : >"$browser_release"; }

# Waits for the launcher to end; sets launcher_rc (124 when it did not end in time).
wait_launcher() {  # wait_launcher seconds
    if wait_for "$1" linux_gone "$launcher_pid"; then
        wait "$launcher_pid"
        launcher_rc=$?
    else
        launcher_rc=124
    fi
}

# Ends the launcher as a crash would: SIGKILL to its Linux process, no stop sequence. True once
# neither Linux nor Wine lists it any more.
kill_launcher_hard() {
    kill -9 "$launcher_pid" 2>/dev/null
    wait "$launcher_pid" 2>/dev/null
    launcher_rc=137
    wait_for 10 linux_gone "$launcher_pid" && wait_for 10 wine_does_not_list "$launcher_winpid"
}

# The launcher's runtime folder (named after its Windows id) in Linux form.
runtime_folder() { echo "$temp_unix/Trailhost_$launcher_winpid"; }
no_runtime_folder() { [ -n "$launcher_winpid" ] && [ ! -e "$(runtime_folder)" ]; }

# While the servers run: their Windows and Linux ids.
note_servers() {
    web_win=$(case_wine_ids_of stack/server/Apache/Apache.exe | head -n1)
    db_win=$(case_wine_ids_of stack/server/mysql/bin/mysqld.exe | head -n1)
    web_linux=$(case_linux_ids_of stack/server/Apache/Apache.exe | head -n1)
    db_linux=$(case_linux_ids_of stack/server/mysql/bin/mysqld.exe | head -n1)
    [ -n "$web_win" ] && [ -n "$db_win" ] && [ -n "$web_linux" ] && [ -n "$db_linux" ]
}

# ---- the stack ------------------------------------------------------------------------------

# A stack in the folder: the launcher; fake_web, fake_db and fake_dbadmin as the web server,
# database server and its admin tool at their built-in places; templates with the placeholders
# the helpers read; a site with a file for additional parsing; the database's files. The browser
# goes beside it into the case's folder, so that its process is one of the case's too. The
# helpers are the 32-bit ones, or the 64-bit ones (bin/x64) after use_64bit_helpers.
make_stack() {  # make_stack folder
    local s=$1 helpers=${helpers_bin:-$bin}
    mkdir -p "$s/server/Apache" "$s/server/mysql/bin" "$s/server/mysql/data/mysql" \
        "$s/server/mysql/share" "$s/server/config_tpl" "$s/htdocs" "$s/dbdir" "$case_dir/browser"
    cp "$bin/trailhost.exe" "$s/"
    cp "$helpers/fake_web.exe" "$s/server/Apache/Apache.exe"
    cp "$helpers/fake_db.exe" "$s/server/mysql/bin/mysqld.exe"
    cp "$helpers/fake_dbadmin.exe" "$s/server/mysql/bin/mysqladmin.exe"
    cp "$helpers/fake_browser.exe" "$case_dir/browser/"
    printf 'Listen %%RMHUB:PORT%%\r\nServerName %%RMHUB:HOST%%\r\nDocumentRoot "%%RMHUB:DOCROOT%%"\r\n' \
        >"$s/server/config_tpl/httpd.conf"
    printf '[mysqld]\r\nport=%%RMHUB:MYSQLPRT%%\r\ndatadir=%%RMHUB:DBDIR%%\r\n' \
        >"$s/server/config_tpl/my.ini"
    printf 'session.save_path="%%RMHUB:RTDIR%%session"\r\n' >"$s/server/config_tpl/php.ini"
    printf '<?php echo "site"; ?>\r\n' >"$s/htdocs/index.php"
    printf 'port=%%RMHUB:PORT%%\r\nhost=%%RMHUB:HOST%%\r\n' >"$s/htdocs/port.txt"
    printf 'system tables' >"$s/server/mysql/data/mysql/user.frm"
    printf 'site data' >"$s/dbdir/site.frm"
}

# A stack on free ports (sets web and db) whose site file port.txt is named for additional
# parsing, its original kept as port.orig and the hosts file's as hosts.before; ProxyOverride
# set to `before`. Its shutdown command probes both ports.
parsed_site_stack() {  # parsed_site_stack stack before
    make_stack "$1"
    cp "$1/htdocs/port.txt" "$case_dir/port.orig"
    cp "$hosts_file" "$case_dir/hosts.before"
    web=$(pick_port)
    db=$(pick_port)
    write_config "$1" "$web" "$db" 'AdditionalParsing:File1=htdocs\port.txt' "$(probe_ports_at_stop)"
    proxy_override_set "$2"
}

# The servers run as 64-bit programs, as today's builds do, beside the 32-bit launcher; so do the
# admin tool and the browser.
use_64bit_helpers() { helpers_bin="$bin/x64"; }

# A Shutdown1 setting (for write_config) that runs port_probe on the web and database ports ($web
# and $db) into the case's probe.log. The stop starts its shutdown commands after it has ended
# both servers and before it puts back the site's files and the hosts file.
probe_ports_at_stop() {
    printf 'Startup:Shutdown1=%s %s %s %s' "$(winpath "$bin/port_probe.exe")" \
        "$(winpath "$case_dir/probe.log")" "$web" "$db"
}

# After the run: each shutdown command found both servers' ports closed.
port_closed_at_stop() {  # port_closed_at_stop port
    has "$case_dir/probe.log" "port $1 closed" && ! has "$case_dir/probe.log" "port $1 answers"
}
check_servers_ended_first() {
    check "the shutdown command ran" wait_for 30 has "$case_dir/probe.log" done
    check "the web server was ended before the shutdown command (port $web closed)" \
        port_closed_at_stop "$web"
    check "the database server was ended before the shutdown command (port $db closed)" \
        port_closed_at_stop "$db"
}

# Writes the stack's hub_config.ini: the case's ports, HostName=$site_host (else 127.0.0.1),
# DeleteHttpTemp=1, the test browser, the database server on; then "Section:Key=Value" pairs,
# each replacing a pair of the same key given before (a section must appear once in the file,
# and of two equal keys the reader takes the first).
write_config() {  # write_config stack web_port db_port [Section:Key=Value...]
    local stack=$1 web=$2 db=$3 pair key section
    shift 3
    local -A value=()
    local -a order=() sections=()
    for pair in "General:ServerName=E2E $case_name" General:UseSplash=0 General:ShowTrayIcon=0 \
        General:AllowOnlySingleInstance=0 "http:Port=$web" "http:HostName=${site_host:-127.0.0.1}" \
        http:DeleteHttpTemp=1 Browser:BrowserType=CHROMIUM \
        "Browser:BrowserPath=$(winpath "$case_dir/browser/fake_browser.exe")" \
        database:UseMySQL=1 "database:MySQLPort=$db" "$@"; do
        key=${pair%%=*}
        [ -n "${value[$key]+set}" ] || order+=("$key")
        value[$key]=${pair#*=}
        section=${key%%:*}
        case " ${sections[*]} " in *" $section "*) ;; *) sections+=("$section") ;; esac
    done
    for section in "${sections[@]}"; do
        printf '[%s]\r\n' "$section"
        for key in "${order[@]}"; do
            [ "${key%%:*}" = "$section" ] && printf '%s=%s\r\n' "${key#*:}" "${value[$key]}"
        done
    done >"$stack/hub_config.ini"
}

# ---- checks that runs share -----------------------------------------------------------------

# While the browser holds the page open.
check_page() {  # check_page url
    check "the browser was given $1" has "$run/browser.log" "arg=$1"
    check "the page was served (200)" has "$run/browser.log" "status HTTP/1.1 200 OK"
}

# Once the launcher should have ended: with 0 by itself, its servers and every other process of
# the case gone in both views, and the runtime folder removed ("kept" for DeleteHttpTemp=0).
check_run_ended() {  # check_run_ended [kept]
    check "the launcher ended by itself with 0" test "$launcher_rc" = 0
    check "the web server (Windows $web_win, Linux $web_linux) is gone" \
        eval 'linux_gone "$web_linux" && wine_does_not_list "$web_win"'
    check "the database server (Windows $db_win, Linux $db_linux) is gone" \
        eval 'linux_gone "$db_linux" && wine_does_not_list "$db_win"'
    check "no process of this case is left (Linux)" no_case_linux_processes
    check "no process of this case is left (Wine)" no_case_wine_processes
    if [ "${1:-}" = kept ]; then
        check "the runtime folder is kept (DeleteHttpTemp=0)" test -d "$(runtime_folder)"
    else
        check "the runtime folder is removed (DeleteHttpTemp=1)" no_runtime_folder
    fi
}

# The start of a run with the browser held open: the launcher listed, the page fetched, the
# servers' ids noted.
check_started() {
    check "Wine lists the launcher (Windows id $launcher_winpid)" test -n "$launcher_winpid"
    check "the browser fetched the start page" wait_for 60 has "$run/browser.log" "holding"
    check "both servers run, in Wine's list and Linux's" note_servers
}

# ---- the cases ------------------------------------------------------------------------------

# A whole run on the site's address: the browser fetches the start page, and while it is open
# ProxyOverride holds the host, the hosts file is left alone (127.0.0.1 needs no entry) and a
# file named for additional parsing is filled in with its original kept as .bak; after the
# browser's end everything stops and is put back.
case_whole() {
    local stack="$case_dir/stack" web db before='<local>;*.before.test'
    run="$case_dir/run"
    parsed_site_stack "$stack" "$before"
    hold_browser=1
    start_launcher "$stack" "$run"
    check_started
    check_page "http://127.0.0.1:$web/index.php"
    check "ProxyOverride holds the host while the browser is open" \
        proxy_override_is "$before 127.0.0.1"
    check "the hosts file is unchanged (127.0.0.1 gets no entry)" \
        same_file "$case_dir/hosts.before" "$hosts_file"
    check "the parsed site file holds this run's port" has "$stack/htdocs/port.txt" "port=$web"
    check "the parsed site file's original is kept as .bak" \
        same_file "$case_dir/port.orig" "$stack/htdocs/port.txt.bak"
    check "the runtime folder is there" test -d "$(runtime_folder)"
    # The database server's log goes with the runtime folder, at once after the stop: it is
    # followed from here on.
    tail -s 0.1 -n +1 -f "$(runtime_folder)/fake_db.log" >"$case_dir/fake_db.log" 2>/dev/null &
    local follower=$!
    release_browser
    check "the database server was asked to stop" \
        wait_for 30 has "$case_dir/fake_db.log" "shutdown"
    kill "$follower" 2>/dev/null
    wait "$follower" 2>/dev/null
    wait_launcher 60
    check "the browser ended by itself" has "$run/browser.log" "exit"
    check_run_ended
    check_servers_ended_first
    check "ProxyOverride is back to its value before the run" proxy_override_is "$before"
    check "the parsed site file is restored" same_file "$case_dir/port.orig" "$stack/htdocs/port.txt"
    check "the .bak file is gone" test ! -e "$stack/htdocs/port.txt.bak"
}

# HostName of the site's own: the launcher appends its marked block to the prefix's hosts file for
# the run and writes the file back byte for byte afterwards; ProxyOverride gets the name.
case_hostname() {
    local stack="$case_dir/stack" web db before='*.before.test;<local>'
    run="$case_dir/run"
    if [ "$names_private" != 1 ]; then
        skip "a site name needs a private mount namespace to resolve under Wine (root and unshare)"
        return
    fi
    site_host=trailhost-e2e.test
    make_stack "$stack"
    cp "$hosts_file" "$case_dir/hosts.before"
    cp /etc/hosts "$case_dir/machine-hosts.before"
    web=$(pick_port)
    db=$(pick_port)
    write_config "$stack" "$web" "$db"
    proxy_override_set "$before"
    hold_browser=1
    start_launcher "$stack" "$run"
    check_started
    check_page "http://$site_host:$web/index.php"
    check "the readiness probe reached the site by its name" \
        has "$run/trace.txt" "Connected to $site_host:$web"
    check "the hosts file is the old one with the marked block for $site_host" \
        hosts_is_before_plus_block "$case_dir/hosts.before" "$site_host"
    check "ProxyOverride holds $site_host while the browser is open" \
        proxy_override_is "$before $site_host"
    release_browser
    wait_launcher 60
    check_run_ended
    check "the hosts file is restored byte for byte" \
        same_file "$case_dir/hosts.before" "$hosts_file"
    check "ProxyOverride is back to its value before the run" proxy_override_is "$before"
    check "the machine's own /etc/hosts was not touched" \
        same_file "$case_dir/machine-hosts.before" /etc/hosts
}

# Both configured ports are taken: each server moves to the first free port of its fallback list.
# Wine's sockets belong to the Wine server, which runs in the machine's network, so these are the
# machine's ports 80, 81, 8080, 8081 and 3306, 7188, 7189, 7190.
case_fallback() {
    local stack="$case_dir/stack" web db expected_web expected_db p url
    run="$case_dir/run"
    expected_web=$(first_free_port 80 81 8080 8081)
    expected_db=$(first_free_port 3306 7188 7189 7190)
    if [ -z "$expected_web" ] || [ -z "$expected_db" ]; then
        skip "every fallback port of the web or the database server is taken on this machine"
        return
    fi
    make_stack "$stack"
    web=$(pick_port)
    db=$(pick_port)
    for p in "$web" "$db"; do
        mkdir -p "$case_dir/blocker$p"
        printf 'Listen %s\r\n' "$p" >"$case_dir/blocker$p/httpd.conf"
        wine "$bin/fake_web.exe" -f "$(winpath "$case_dir/blocker$p/httpd.conf")" </dev/null >/dev/null 2>&1 &
        blockers="$blockers $!"
    done
    check "the configured ports are taken" \
        eval 'wait_for 20 listening "$web" && wait_for 20 listening "$db"'
    write_config "$stack" "$web" "$db"
    hold_browser=1
    start_launcher "$stack" "$run"
    check_started
    url="http://127.0.0.1:$expected_web/index.php"
    [ "$expected_web" = 80 ] && url="http://127.0.0.1/index.php"
    check_page "$url"
    check "the web server listens on $expected_web" listening "$expected_web"
    check "the database server listens on $expected_db" listening "$expected_db"
    check "the browser saw TRH_MYSQL_PORT=$expected_db" \
        has "$run/browser.log" "env TRH_MYSQL_PORT=$expected_db"
    release_browser
    wait_launcher 60
    check_run_ended
    check "the blockers kept their ports" eval 'listening "$web" && listening "$db"'
}

# KeepRunningAfterBrowserClose=1: the servers outlive the browser until a second copy started
# with -shutdown asks the first to stop.
case_keep() {
    local stack="$case_dir/stack" web db second second_rc
    run="$case_dir/run"
    make_stack "$stack"
    web=$(pick_port)
    db=$(pick_port)
    write_config "$stack" "$web" "$db" General:KeepRunningAfterBrowserClose=1 "$(probe_ports_at_stop)"
    proxy_override_set '<local>'
    start_launcher "$stack" "$run"
    check "Wine lists the launcher (Windows id $launcher_winpid)" test -n "$launcher_winpid"
    check "the browser fetched the page and ended" wait_for 60 has "$run/browser.log" "exit"
    check "the browser hand-over ended" wait_for 60 has "$run/trace.txt" "Browser started"
    check_page "http://127.0.0.1:$web/index.php"
    check "both servers run, in Wine's list and Linux's" note_servers
    check "the site still answers after the browser ended" \
        eval 'http_get "$web" /index.php "$run/page2.txt" && has "$run/page2.txt" "200 OK"'
    check "the launcher still runs" linux_alive "$launcher_pid"
    check "ProxyOverride still holds the host" proxy_override_is '<local> 127.0.0.1'

    wine "$stack/trailhost.exe" -shutdown </dev/null >"$run/second.txt" 2>&1 &
    second=$!
    wait_launcher 60
    if wait_for 30 linux_gone "$second"; then
        wait "$second"
        second_rc=$?
    else
        second_rc=124
    fi
    check "the -shutdown copy ended with 0" test "$second_rc" = 0
    check_run_ended
    check_servers_ended_first
    check "ProxyOverride is back to its value before the run" proxy_override_is '<local>'
}

# A database server that does not stop when its admin tool asks: the launcher ends it itself.
# The runtime folder is kept (DeleteHttpTemp=0), since the helpers' logs lie in it.
case_dbhang() {
    local stack="$case_dir/stack" web db
    run="$case_dir/run"
    make_stack "$stack"
    printf 'fake-ignore-shutdown\r\n' >>"$stack/server/config_tpl/my.ini"
    web=$(pick_port)
    db=$(pick_port)
    write_config "$stack" "$web" "$db" http:DeleteHttpTemp=0 "$(probe_ports_at_stop)"
    hold_browser=1
    start_launcher "$stack" "$run"
    check_started
    check_page "http://127.0.0.1:$web/index.php"
    release_browser
    wait_launcher 60
    check "the admin tool was started with shutdown" \
        has "$(runtime_folder)/fake_dbadmin.log" "arg=shutdown"
    check "the database server heard it and kept running" \
        has "$(runtime_folder)/fake_db.log" "shutdown ignored"
    check_run_ended kept
    check_servers_ended_first
}

# The cases above with 64-bit servers.
case_whole64() { use_64bit_helpers && case_whole; }
case_keep64() { use_64bit_helpers && case_keep; }
case_dbhang64() { use_64bit_helpers && case_dbhang; }

# The stack as on a CD-ROM: every file read-only (the attribute Wine shows for files without
# write permission), the database copied to a mirror folder that the run uses and keeps. Root
# writes through the attribute, so the check is that nothing in the stack was written.
tree_sum() { (cd "$1" && find . -print0 | LC_ALL=C sort -z | xargs -0 md5sum 2>&1 | sed 's/^md5sum: //'); }
case_mirror() {
    local stack="$case_dir/stack" web db mirror="$case_dir/mirror"
    run="$case_dir/run"
    make_stack "$stack"
    web=$(pick_port)
    db=$(pick_port)
    write_config "$stack" "$web" "$db" database:LocalMirror=1 \
        "database:MirrorFolder=$(winpath "$mirror")\\"
    chmod -R a-w "$stack"
    tree_sum "$stack" >"$case_dir/stack.sum"
    check "Wine shows the stack's database file as read-only" \
        eval 'wine_out cmd /c attrib "$(winpath "$stack/dbdir/site.frm")" | grep -q "^[A-Z ]*R"'
    hold_browser=1
    start_launcher "$stack" "$run"
    check_started
    check_page "http://127.0.0.1:$web/index.php"
    check "the servers were given the mirror folder as TRH_DB_PATH" \
        has "$run/browser.log" "env TRH_DB_PATH=$(winpath "$mirror")\\"
    check "the site's database files are in the mirror" \
        eval 'same_file "$mirror/site.frm" <(printf "site data")'
    check "the server's own tables are in the mirror" \
        eval 'same_file "$mirror/mysql/user.frm" <(printf "system tables")'
    release_browser
    wait_launcher 60
    check_run_ended
    check "the mirror folder is kept" test -f "$mirror/site.frm"
    check "nothing in the stack was written, added or removed" \
        eval 'cmp -s "$case_dir/stack.sum" <(tree_sum "$stack")'
}

# ---- running a case -------------------------------------------------------------------------

# Whatever a case leaves behind, also when it failed half-way: its processes, the prefix's hosts
# file and ProxyOverride as they were before the case, write permission, its runtime folder.
cleanup_case() {
    local pid id
    for pid in $(case_linux_pids) $blockers; do kill -9 "$pid" 2>/dev/null; done
    wait 2>/dev/null
    cmp -s "$case_dir/.hosts" "$hosts_file" || cp "$case_dir/.hosts" "$hosts_file"
    if [ -n "$proxy_at_start" ]; then
        proxy_override_is "${proxy_at_start#=}" || proxy_override_set "${proxy_at_start#=}"
    else
        ! proxy_override_get >/dev/null || proxy_override_unset
    fi
    chmod -R u+w "$case_dir" 2>/dev/null
    for id in $started_winpids; do rm -rf "$temp_unix/Trailhost_$id"; done
}

run_case() {
    case_name=$1
    case_dir="$work/$case_name"
    results="$case_dir/results"
    given="" blockers="" site_host="" hold_browser=0 launcher_winpid="" started_winpids="" helpers_bin=""
    web_win="" db_win="" web_linux="" db_linux=""
    mkdir -p "$case_dir"
    : >"$results"
    cp "$hosts_file" "$case_dir/.hosts"
    proxy_at_start=$(proxy_override_get) && proxy_at_start="=$proxy_at_start"
    trap cleanup_case EXIT
    "case_$case_name"
}

# ---- the launcher killed ----------------------------------------------------------------------

journal_file() { echo "$(runtime_folder)/changes.journal"; }
# The Windows ids of the servers the killed run wrote down.
journal_server_ids() { sed -n 's/^server\t\([0-9]*\)\t.*/\1/p' "$(journal_file)" 2>/dev/null; }
journal_has_both_servers() { [ "$(journal_server_ids | wc -l)" = 2 ]; }
none_listed() { local id; for id in "$@"; do wine_lists "$id" && return 1; done; return 0; }

# The launcher killed (SIGKILL) while it starts the servers, while the browser is open, or inside
# its stop sequence, then the stack started again. The job object ends the servers with the
# killed launcher; the next start takes its hosts block, its ProxyOverride exception and its
# expanded site file back and removes its runtime folder, then runs and ends like any run.
crash_case() {  # crash_case start|browser|stop
    local point=$1 stack="$case_dir/stack" web db before='<local>;*.crash.test' servers first
    if [ "$names_private" != 1 ]; then
        skip "a site name needs a private mount namespace to resolve under Wine (root and unshare)"
        return
    fi
    site_host=crash-$point.test
    parsed_site_stack "$stack" "$before"
    [ "$point" = stop ] && printf 'fake-ignore-shutdown\r\n' >>"$stack/server/config_tpl/my.ini"
    hold_browser=1
    start_launcher "$stack" "$case_dir/run1"
    case $point in
        start)
            # Once both servers are in the job, while the launcher waits for the site to answer.
            # (A kill between a server's creation and its joining the job leaves that server
            # suspended outside the job: a gap the job cannot close.)
            check "killed at start: the run wrote both servers down" \
                wait_for 60 journal_has_both_servers
            ;;
        browser)
            check_started
            check "killed with the browser open: ProxyOverride holds the site" \
                proxy_override_is "$before $site_host"
            ;;
        stop)
            # The database server does not stop when asked, so the stop waits for it with the
            # web server gone and nothing put back yet.
            check_started
            release_browser
            check "killed while stopping: the stop asked the database server to stop" \
                wait_for 60 has "$(runtime_folder)/fake_dbadmin.log" "arg=shutdown"
            ;;
    esac
    first=$(runtime_folder)
    servers=$(journal_server_ids)
    check "killed at $point: the launcher is gone" kill_launcher_hard
    release_browser
    check "killed at $point: the servers ($(echo $servers)) ended" wait_for 30 none_listed $servers
    check "killed at $point: the hosts block was left behind" \
        hosts_is_before_plus_block "$case_dir/hosts.before" "$site_host"
    check "killed at $point: the site file was left expanded" has "$stack/htdocs/port.txt" "host=$site_host"
    check "killed at $point: the runtime folder was left behind" test -d "$first"

    start_launcher "$stack" "$case_dir/run2"
    check_started
    check "next start: the killed run's runtime folder is gone" test ! -e "$first"
    check "next start: the hosts file holds one block, not two" \
        hosts_is_before_plus_block "$case_dir/hosts.before" "$site_host"
    check "next start: ProxyOverride holds the site once" proxy_override_is "$before $site_host"
    # (The killed run's port may still be held for a moment, and the next start take another.)
    check "next start: the site file was expanded from its original" \
        grep -qE "^port=[0-9]+.?\$" "$stack/htdocs/port.txt"
    check "next start: the original is kept as .bak" same_file "$case_dir/port.orig" "$stack/htdocs/port.txt.bak"
    release_browser
    wait_launcher 60
    check_run_ended
    check_servers_ended_first
    check "after both: the hosts file is restored byte for byte" same_file "$case_dir/hosts.before" "$hosts_file"
    check "after both: ProxyOverride is back to its value before" proxy_override_is "$before"
    check "after both: the site file is restored" same_file "$case_dir/port.orig" "$stack/htdocs/port.txt"
    check "after both: no .bak is left" test ! -e "$stack/htdocs/port.txt.bak"
}

case_crash_start() { crash_case start; }
case_crash_browser() { crash_case browser; }
case_crash_stop() { crash_case stop; }
case_crash_start64() { use_64bit_helpers && crash_case start; }

# ---- main -----------------------------------------------------------------------------------

if [ "${1:-}" = "--case" ]; then
    run_case "$2"
    exit 0
fi

read_arguments "$@"

# Windows programs that make windows need a display.
if [ -z "${DISPLAY:-}" ]; then
    if [ -z "${E2E_WINE_XVFB:-}" ] && command -v xvfb-run >/dev/null; then
        E2E_WINE_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$self" "$@"
    fi
    echo "FAIL: no display and no xvfb-run"
    exit 1
fi

# The build's own prefix, prepared by the first program cmake/wine-run starts in it.
export WINEPREFIX=${TRAILHOST_WINEPREFIX:-$(dirname "$bin")/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
started=$SECONDS
if ! bash "$src/cmake/wine-run" "$bin/process_table.exe" </dev/null >"$work/processes.txt" 2>&1; then
    echo "FAIL: Wine does not run the process list helper"
    exit 1
fi
# The prefix's services, started now with no pipe of the caller's to inherit.
wineboot </dev/null >/dev/null 2>&1

temp_win=$(wine_out cmd /c 'echo %TEMP%')
temp_unix=$(winepath -u "$temp_win" 2>/dev/null)
temp_unix=${temp_unix%/}
hosts_file="$WINEPREFIX/drive_c/windows/system32/drivers/etc/hosts"
names_private=0
if [ -f /etc/hosts ] && unshare -m sh -c 'mount --bind /etc/hosts /etc/hosts' 2>/dev/null; then
    names_private=1
fi
export src bin work temp_unix hosts_file names_private
echo "Wine ready in $((SECONDS - started)) s; temporary folder $temp_unix; private names: $names_private"

cases=${E2E_CASES:-whole hostname fallback keep dbhang mirror crash_start crash_browser crash_stop
    whole64 keep64 dbhang64 crash_start64}
for c in $cases; do
    bash "$self" --case "$c"
done

collect_results "end-to-end (Wine)" "$((SECONDS - started))" $cases

if [ "$failed" -gt 0 ]; then
    for c in $cases; do
        for out in "$work/$c"/run*/trace.txt "$work/$c"/run*/out.txt "$work/$c"/run*/browser.log; do
            [ -f "$out" ] && { echo "--- $out"; tail -n 30 "$out"; }
        done
    done
fi

write_result_xml e2e_wine "$xml"

[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
