# Shared by the end-to-end scripts (sourced, not run): the check lines a case writes, waiting for
# an event, ports, and the summary with its result file for scripts/test.
#
# A case sets case_name and results (the file its check lines go to) before it checks anything.
# Every check is one line "ok|FAIL|skip <case>: <what>".

check() {  # check "what" command...
    local what=$1
    shift
    if "$@"; then
        echo "ok $case_name: $what" >>"$results"
    else
        echo "FAIL $case_name: $what" >>"$results"
    fi
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

# The first port of the list at which nothing listens; nothing when all are taken.
first_free_port() {  # first_free_port port...
    local p
    for p in "$@"; do
        if ! listening "$p"; then
            echo "$p"
            return
        fi
    done
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

# Gathers the cases' check lines into $work/all-results, prints them and a count, and sets
# passed, failed and skipped. A case that recorded nothing counts as failed.
collect_results() {  # collect_results label elapsed_seconds case...
    local label=$1 elapsed=$2 c f
    shift 2
    for c in "$@"; do
        f="$work/$c/results"
        if [ ! -s "$f" ]; then
            echo "FAIL $c: the case recorded nothing"
            continue
        fi
        cat "$f"
    done >"$work/all-results"
    cat "$work/all-results"
    passed=$(grep -c '^ok ' "$work/all-results")
    failed=$(grep -c '^FAIL ' "$work/all-results")
    skipped=$(grep -c '^skip ' "$work/all-results")
    echo "$label: $passed passed, $failed failed, $skipped skipped in $elapsed s"
}

# The result file in the form the test programs write, so that scripts/test counts these checks.
write_result_xml() {  # write_result_xml suite_name xml_file
    local suite=$1 xml=$2 state rest name
    xml_escape() { sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g'; }
    {
        echo '<?xml version="1.0" encoding="UTF-8"?>'
        echo "<testsuites tests=\"$((passed + failed + skipped))\" failures=\"$failed\" disabled=\"0\" errors=\"0\" name=\"$suite\">"
        echo "  <testsuite name=\"$suite\" tests=\"$((passed + failed + skipped))\" failures=\"$failed\">"
        while read -r state rest; do
            name=$(xml_escape <<<"$rest")
            case $state in
                ok) echo "    <testcase name=\"$name\" result=\"completed\"/>" ;;
                skip) echo "    <testcase name=\"$name\" result=\"skipped\"/>" ;;
                FAIL) echo "    <testcase name=\"$name\" result=\"completed\"><failure message=\"failed\"/></testcase>" ;;
            esac
        done <"$work/all-results"
        echo "  </testsuite>"
        echo "</testsuites>"
    } >"$xml"
}
