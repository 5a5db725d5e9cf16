# Shared by the end-to-end scripts (sourced, not run): the check lines a case writes, waiting for
# an event, ports, processes, a case's configuration, launcher and end-of-run check, and the
# summary with its result file for scripts/test.
#
# A case starts with begin_case. Every check is one line "ok|FAIL|skip <case>: <what>".
# A script that starts launchers sets temp_dir (where the launcher makes its runtime folder),
# stack_config (its own "Section:Key=Value" pairs for hub_config.ini) and defines
# run_launcher STACK ARGUMENT... (runs the stack's launcher in the environment it is given, by exec,
# so that the id of the background job is the launcher's) and native_path PATH (a path as the
# launcher reads it).

check() {  # check "what" command...
    local what=$1 state=FAIL
    shift
    "$@" && state=ok
    echo "$state $case_name: $what" >>"$results"
}

skip() { echo "skip $case_name: $1" >>"$results"; }

# The arguments every script takes: the source tree, the build's program folder, the work folder
# (made anew, empty) and the result file; sets src, bin, work and xml.
read_arguments() {  # read_arguments src bin work xml
    src=$(readlink -f "$1")
    bin=$(readlink -f "$2")
    xml=$4
    rm -rf "$3"
    mkdir -p "$3"
    work=$(readlink -f "$3")
}

# The case's folder under $work, its empty result file, the runtime folders there before it, and
# the state a run starts from.
begin_case() {  # begin_case name
    case_name=$1
    case_dir="$work/$case_name"
    results="$case_dir/results"
    given="" web_pid="" db_pid="" hold_browser=0 site_host=""
    remembered=()
    mkdir -p "$case_dir"
    : >"$results"
    # The runtime folders there now, which runtime_folders leaves out.
    find "${temp_dir:-/nonexistent}" -maxdepth 1 -name 'Trailhost_*' >"$case_dir/runtime-before" 2>/dev/null
}

# Polls `command...` every 0.1 s until it succeeds or `seconds` have passed.
wait_for() {  # wait_for seconds command...
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -ge "$deadline" ] && return 1
        sleep 0.1
    done
}

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

pick_port() {  # a port nothing listens on, not in the list of ports already given out ($given)
    local p
    while :; do
        p=$((20000 + RANDOM % 40000))
        case " $given " in *" $p "*) continue ;; esac
        listening "$p" || break
    done
    given="$given $p"
    echo "$p"
}

has() { grep -qF -- "$2" "$1" 2>/dev/null; }
same_file() { cmp -s "$1" "$2"; }

# One HTTP/1.0 GET of `path` on the local port; the whole answer goes to `file`.
http_get() {  # http_get port path file
    (
        exec 3<>"/dev/tcp/127.0.0.1/$1" || exit 1
        printf 'GET %s HTTP/1.0\r\nHost: 127.0.0.1:%s\r\n\r\n' "$2" "$1" >&3
        cat <&3 >"$3"
    )
}

# The Windows form of an absolute Linux path: Wine shows the Linux file system as drive Z:.
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

# ---- processes ------------------------------------------------------------------------------

# An id must be given: kill -0 with 0 reaches the process group. A zombie has ended: a process
# whose parent died is reaped by whoever adopts it, maybe never.
alive() {
    [ -n "$1" ] && [ "$1" != 0 ] && kill -0 "$1" 2>/dev/null &&
        [ "$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -c1)" != Z ]
}
gone() { [ -n "$1" ] && [ "$1" != 0 ] && ! alive "$1"; }
all_gone() {  # all_gone pid...
    local p
    for p in "$@"; do alive "$p" && return 1; done
    return 0
}

# The live processes whose command line names the folder, in Linux or in Windows form (Wine gives
# the programs it starts their Windows command line).
pids_in() {  # pids_in folder
    pgrep -i -f -- "$(regex_of "$1/")|$(regex_of "$(winpath "$1")\\")" |
        grep -vxF -e "$$" -e "$BASHPID" | while read -r pid; do alive "$pid" && echo "$pid"; done
}
regex_of() { sed 's/[][\\.*^$+?(){}|]/\\&/g' <<<"$1"; }  # a pattern for exactly this text
none_of_ours() { [ -z "$(pids_in "$case_dir")" ]; }

# ---- a case's run -----------------------------------------------------------------------------

# Writes the stack's hub_config.ini (CR LF line ends, as authors on Windows write it) from
# "Section:Key=Value" pairs: the pairs given, the script's stack_config, then the shared ones. Of
# two pairs of one key the first is written, each section once.
write_config() {  # write_config stack web_port db_port [Section:Key=Value...]
    local pairs section
    pairs=$(printf '%s\n' "${@:4}" "${stack_config[@]}" "General:ServerName=E2E $case_name" \
        General:UseSplash=0 General:ShowTrayIcon=0 General:AllowOnlySingleInstance=0 \
        "http:Port=$2" "http:HostName=${site_host:-127.0.0.1}" http:DeleteHttpTemp=1 \
        database:UseMySQL=1 "database:MySQLPort=$3" | awk -F= '!seen[$1]++')
    for section in $(cut -d: -f1 <<<"$pairs" | awk '!seen[$0]++'); do
        printf '[%s]\r\n' "$section"
        grep "^$section:" <<<"$pairs" | cut -d: -f2- | sed 's/$/\r/'
    done >"$1/hub_config.ini"
}

# Keeps a copy of a file the runs will change, for check_run_ended to compare it with.
remember() {  # remember file
    mkdir -p "$case_dir/originals"
    cp "$1" "$(original_of "$1")"
    remembered+=("$1")
}
original_of() { echo "$case_dir/originals/$(echo "$1" | tr / _)"; }

# Starts the launcher of `stack` in the background with the arguments given; `run` (the run's
# folder) receives its trace, standard output and error, and the test browser's log and page.
# With hold_browser=1 the browser stays open after its fetch until release_browser, as a user
# would keep it. Sets launcher_pid.
start_launcher() {  # start_launcher stack run_dir [argument...]
    local stack=$1
    run=$2
    shift 2
    mkdir -p "$run"
    rm -f "$run/close-browser"
    local -a vars=(TRH_TRACE="$(native_path "$run/trace.txt")"
        FAKE_BROWSER_LOG="$(native_path "$run/browser.log")"
        FAKE_BROWSER_PAGE="$(native_path "$run/page.txt")")
    [ "${hold_browser:-0}" = 1 ] && vars+=(FAKE_BROWSER_UNTIL="$(native_path "$run/close-browser")")
    (
        export "${vars[@]}"
        run_launcher "$stack" "$@"
    ) </dev/null >"$run/out.txt" 2>&1 &
    launcher_pid=$!
}

release_browser() { : >"$run/close-browser"; }

# Waits for the launcher to end; sets launcher_rc (124 when it did not end in time).
wait_launcher() {  # wait_launcher seconds
    launcher_rc=124
    wait_for "$1" gone "$launcher_pid" || return
    wait "$launcher_pid"
    launcher_rc=$?
}

# The runtime folders the case's runs made and left.
runtime_folders() {
    find "$temp_dir" -maxdepth 1 -name 'Trailhost_*' 2>/dev/null | grep -vxF -f "$case_dir/runtime-before"
}
no_runtime_folder() { [ -z "$(runtime_folders)" ]; }

# The start page in the test browser's log: the URL it was given and the answer's status.
check_page_served() {  # check_page_served url [label]
    check "${2:+$2: }the browser was given $1" has "$run/browser.log" "arg=$1"
    check "${2:+$2: }the page was served (200)" has "$run/browser.log" "status HTTP/1.1 200 OK"
}

# Once the launcher should have ended: with 0 by itself, the servers noted in web_pid and db_pid
# and every other process of the case gone, no runtime folder, and every remembered file as it
# was with no .bak beside it.
check_run_ended() {  # check_run_ended [label]
    local label=${1:+$1: } f
    check "${label}the launcher ended by itself with 0" test "$launcher_rc" = 0
    check "${label}the web server ($web_pid) is gone" gone "$web_pid"
    check "${label}the database server ($db_pid) is gone" gone "$db_pid"
    check "${label}no process of the case is left" wait_for 10 none_of_ours
    check "${label}the runtime folder is removed (DeleteHttpTemp=1)" no_runtime_folder
    for f in "${remembered[@]}"; do
        check "${label}${f#"$case_dir"/} is as before" same_file "$(original_of "$f")" "$f"
        check "${label}no ${f#"$case_dir"/}.bak is left" test ! -e "$f.bak"
    done
}

# ---- the summary ------------------------------------------------------------------------------

# Gathers the cases' check lines into $work/all-results, prints them and a count, and sets
# passed, failed and skipped. A case that recorded nothing counts as failed. On a failure, the
# end of each file matching the patterns (relative to a case's folder) follows.
collect_results() {  # collect_results label elapsed_seconds "case..." [pattern...]
    local label=$1 elapsed=$2 cases=$3 c f
    shift 3
    for c in $cases; do
        cat "$work/$c/results" 2>/dev/null | grep . || echo "FAIL $c: the case recorded nothing"
    done >"$work/all-results"
    cat "$work/all-results"
    passed=$(grep -c '^ok ' "$work/all-results")
    failed=$(grep -c '^FAIL ' "$work/all-results")
    skipped=$(grep -c '^skip ' "$work/all-results")
    echo "$label: $passed passed, $failed failed, $skipped skipped in $elapsed s"
    [ "$failed" -gt 0 ] || return 0
    for c in $cases; do
        for f in $(printf "$work/$c/%s " "$@"); do  # the patterns' files
            [ -s "$f" ] && { echo "--- $f"; tail -n 30 "$f"; }
        done
    done
}

# The result file in the form the test programs write, so that scripts/test counts these checks.
write_result_xml() {  # write_result_xml suite_name xml_file
    local suite=$1 all=$((passed + failed + skipped))
    {
        echo '<?xml version="1.0" encoding="UTF-8"?>'
        echo "<testsuites tests=\"$all\" failures=\"$failed\" disabled=\"0\" errors=\"0\" name=\"$suite\">"
        echo "  <testsuite name=\"$suite\" tests=\"$all\" failures=\"$failed\">"
        sed -e 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g; s/"/\&quot;/g' \
            -e 's|^ok \(.*\)|    <testcase name="\1" result="completed"/>|' \
            -e 's|^skip \(.*\)|    <testcase name="\1" result="skipped"/>|' \
            -e 's|^FAIL \(.*\)|    <testcase name="\1" result="completed"><failure message="failed"/></testcase>|' \
            -e '/^    <testcase /!d' "$work/all-results"
        echo "  </testsuite>"
        echo "</testsuites>"
    } >"$2"
}
