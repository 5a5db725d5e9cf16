#!/usr/bin/env bash
# A whole run of trailhost.exe under Wine, with the test helpers as its servers and browser:
#   e2e_wine.sh SOURCE_DIR BIN_DIR WORK_DIR RESULT_XML
# BIN_DIR is the Windows build's bin folder. Wine runs in that build's own prefix (the one
# cmake/wine-run uses), on the caller's display, or on a virtual one of its own when there is
# none. The stack holds the 32-bit launcher and, as today's server builds are 64-bit only, the
# 64-bit fake_web, fake_db and fake_dbadmin at the places the launcher looks for the servers;
# fake_browser (64-bit too) is a CHROMIUM browser, whose starter watches the process it starts.
# What the app-level tests run under Wine with the same helpers is not run again here; this run
# adds what only the real program in a prefix shows: the prefix's own hosts file under the system
# folder, its ProxyOverride, and 64-bit servers beside the 32-bit launcher.
#
# Wine resolves host names through the machine's resolver, never through the prefix's hosts
# file; the site's own name is therefore resolved in a private mount namespace in which
# /etc/hosts is a copy of the machine's with that name added (the machine's file itself is never
# written). Without one (not root) the site runs on 127.0.0.1 and the hosts checks are skipped.
# RESULT_XML counts the check lines for scripts/test.
set -uo pipefail

self=$(readlink -f "$0")
. "$(dirname "$self")/e2e_common.sh"

native_path() { winpath "$1"; }

run_launcher() {  # run_launcher stack argument...
    if [ -n "$site_host" ]; then
        { cat /etc/hosts; printf '127.0.0.1\t%s\n' "$site_host"; } >"$case_dir/resolver-hosts"
        exec unshare -m sh -c 'mount --bind "$0" /etc/hosts && exec "$@"' \
            "$case_dir/resolver-hosts" wine "$1/trailhost.exe" "${@:2}"
    fi
    exec wine "$1/trailhost.exe" "${@:2}"
}

# A Wine program's standard output with its line ends made Linux ones; Wine's own messages and
# the program's standard error are dropped.
wine_out() { wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }

# The ProxyOverride value of the prefix's Internet settings; status 1 when there is none.
proxy_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
proxy_override_get() {
    local line
    line=$(wine_out reg query "$proxy_key" /v ProxyOverride | grep -m1 '^ *ProxyOverride  *REG_SZ') ||
        return 1
    printf '%s' "${line#*REG_SZ    }"
}
proxy_override_set() { wine_out reg add "$proxy_key" /v ProxyOverride /t REG_SZ /d "$1" /f >/dev/null; }
proxy_override_is() { local v; v=$(proxy_override_get) && [ "$v" = "$1" ]; }

# The prefix's hosts file is the one remembered with the launcher's marked block for `host` after
# it: an empty line, the start mark, an IPv4 address, a tab and the host, the end mark (CR LF).
hosts_is_before_plus_block() {  # hosts_is_before_plus_block host
    local before size block
    before=$(original_of "$hosts_file")
    size=$(stat -c %s "$before")
    cmp -s -n "$size" "$before" "$hosts_file" || return 1
    block=$(tail -c +"$((size + 1))" "$hosts_file" | od -An -c | tr -d ' \n')
    [[ $block =~ ^\\r\\n#---TRH_START---\\r\\n[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+\\t"$1"\\r\\n#---TRH_END---\\r\\n$ ]]
}

# The Linux id of the process that runs the program at `relative` (below the stack, '/'
# separators); Wine gives it its Windows command line.
pid_of_program() { pgrep -i -f -- "^$(regex_of "$(winpath "$stack/$1")")( |\$)" | head -n1; }

# While the servers run: their Linux ids, each a 64-bit Wine process.
note_servers() {
    web_pid=$(pid_of_program server/Apache/Apache.exe)
    db_pid=$(pid_of_program server/mysql/bin/mysqld.exe)
    [ -n "$web_pid" ] && [ -n "$db_pid" ]
}
# Wine runs a 64-bit program in its wine64 loader, a 32-bit one in its wine loader.
runs_64bit() { [[ $(readlink "/proc/$1/exe") == */wine64* ]]; }

# The stack: the launcher, the 64-bit helpers as servers at their built-in places, templates with
# the placeholders the helpers read, a site, the database's files. The browser goes beside it
# into the case's folder, so that its process is one of the case's too.
make_stack() {
    local helpers="$bin/x64"
    mkdir -p "$stack/server/Apache" "$stack/server/mysql/bin" "$stack/server/mysql/data/mysql" \
        "$stack/server/mysql/share" "$stack/server/config_tpl" "$stack/htdocs" "$stack/dbdir" \
        "$case_dir/browser"
    cp "$bin/trailhost.exe" "$stack/"
    cp "$helpers/fake_web.exe" "$stack/server/Apache/Apache.exe"
    cp "$helpers/fake_db.exe" "$stack/server/mysql/bin/mysqld.exe"
    cp "$helpers/fake_dbadmin.exe" "$stack/server/mysql/bin/mysqladmin.exe"
    cp "$helpers/fake_browser.exe" "$case_dir/browser/"
    printf 'Listen %%RMHUB:PORT%%\r\nServerName %%RMHUB:HOST%%\r\nDocumentRoot "%%RMHUB:DOCROOT%%"\r\n' \
        >"$stack/server/config_tpl/httpd.conf"
    printf '[mysqld]\r\nport=%%RMHUB:MYSQLPRT%%\r\ndatadir=%%RMHUB:DBDIR%%\r\n' \
        >"$stack/server/config_tpl/my.ini"
    printf 'session.save_path="%%RMHUB:RTDIR%%session"\r\n' >"$stack/server/config_tpl/php.ini"
    printf '<?php echo "site"; ?>\r\n' >"$stack/htdocs/index.php"
    printf 'system tables' >"$stack/server/mysql/data/mysql/user.frm"
    printf 'site data' >"$stack/dbdir/site.frm"
}

# The run on the site's own name: while the browser is open the prefix's hosts file holds the
# marked block for it and ProxyOverride holds it; after the browser's end both servers stop and
# everything is put back byte for byte. The site file's parsing and the database server's stop
# request are the app tests' whole runs, which run under Wine too.
case_whole64() {
    local stack="$case_dir/stack" web db host before='*.before.test;<local>'
    if [ "$names_private" = 1 ]; then
        site_host=trailhost-e2e.test
    else
        skip "the site's own name needs a private mount namespace to resolve under Wine (root and unshare)"
    fi
    host=${site_host:-127.0.0.1}
    make_stack
    remember "$hosts_file"
    cp /etc/hosts "$case_dir/machine-hosts"
    proxy_override_set "$before"
    web=$(pick_port)
    db=$(pick_port)
    write_config "$stack" "$web" "$db"
    hold_browser=1
    start_launcher "$stack" "$case_dir/run"

    check "the browser fetched the start page" wait_for 60 has "$run/browser.log" "holding"
    check_page_served "http://$host:$web/index.php"
    check "both servers run" note_servers
    check "both servers are 64-bit programs" eval 'runs_64bit "$web_pid" && runs_64bit "$db_pid"'
    check "ProxyOverride holds $host while the browser is open" proxy_override_is "$before $host"
    if [ -n "$site_host" ]; then
        check "the hosts file is the old one with the marked block for $host" \
            hosts_is_before_plus_block "$host"
    else
        check "the hosts file is unchanged (127.0.0.1 gets no entry)" \
            same_file "$(original_of "$hosts_file")" "$hosts_file"
    fi
    release_browser
    wait_launcher 60
    check "the browser ended by itself" has "$run/browser.log" "exit"
    check_run_ended
    check "ProxyOverride is back to its value before the run" proxy_override_is "$before"
    check "the machine's own /etc/hosts was not touched" same_file "$case_dir/machine-hosts" /etc/hosts
}

# Whatever the case leaves behind, also when it failed half-way: its processes, the prefix's
# hosts file and ProxyOverride as they were before it, its runtime folders.
cleanup_case() {
    local pid
    for pid in $(pids_in "$case_dir"); do kill -9 "$pid" 2>/dev/null; done
    wait 2>/dev/null
    same_file "$case_dir/hosts-at-start" "$hosts_file" || cp "$case_dir/hosts-at-start" "$hosts_file"
    if [ -n "$proxy_at_start" ]; then
        proxy_override_is "${proxy_at_start#=}" || proxy_override_set "${proxy_at_start#=}"
    elif proxy_override_get >/dev/null; then
        wine_out reg delete "$proxy_key" /v ProxyOverride /f >/dev/null
    fi
    runtime_folders | xargs -r rm -rf
}

# ---- main -----------------------------------------------------------------------------------

# Windows programs that make windows need a display.
if [ -z "${DISPLAY:-}" ]; then
    if [ -z "${E2E_WINE_XVFB:-}" ] && command -v xvfb-run >/dev/null; then
        E2E_WINE_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$self" "$@"
    fi
    echo "FAIL: no display and no xvfb-run"
    exit 1
fi

read_arguments "$@"
# The build's own prefix, prepared by the first program cmake/wine-run starts in it.
export WINEPREFIX=${TRAILHOST_WINEPREFIX:-$(dirname "$bin")/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
started=$SECONDS
if ! FAKE_BROWSER_LOG="$(winpath "$work/prefix.log")" bash "$src/cmake/wine-run" "$bin/fake_browser.exe" \
    </dev/null >"$work/prefix.txt" 2>&1; then
    echo "FAIL: Wine does not run the helpers"
    exit 1
fi
# The prefix's services, started now with no pipe of the caller's to inherit.
wineboot </dev/null >/dev/null 2>&1

temp_dir=$(winepath -u "$(wine_out cmd /c 'echo %TEMP%')" 2>/dev/null)
temp_dir=${temp_dir%/}
hosts_file="$WINEPREFIX/drive_c/windows/system32/drivers/etc/hosts"
names_private=0
[ -f /etc/hosts ] && unshare -m sh -c 'mount --bind /etc/hosts /etc/hosts' 2>/dev/null && names_private=1
echo "Wine ready in $((SECONDS - started)) s; temporary folder $temp_dir; private names: $names_private"

begin_case whole64
stack_config=(Browser:BrowserType=CHROMIUM
    "Browser:BrowserPath=$(winpath "$case_dir/browser/fake_browser.exe")")
cp "$hosts_file" "$case_dir/hosts-at-start"
proxy_at_start=$(proxy_override_get) && proxy_at_start="=$proxy_at_start"
trap cleanup_case EXIT
case_whole64

collect_results "end-to-end (Wine)" "$((SECONDS - started))" whole64 \
    'run/trace.txt' 'run/out.txt' 'run/browser.log'
write_result_xml e2e_wine "$xml"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
