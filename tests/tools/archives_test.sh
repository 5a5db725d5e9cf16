#!/usr/bin/env bash
# The release packages as a user gets them:
#   archives_test.sh SOURCE_DIR DIST_DIR LINUX_BIN WINDOWS_BIN WORK_DIR RESULT_XML
# DIST_DIR holds what scripts/package wrote. LINUX_BIN and WINDOWS_BIN are bin folders of test
# builds, whose helper programs (fake_web, fake_db, fake_dbadmin, fake_browser) stand in for the
# servers and the browser. Each package is unpacked into an empty folder and must hold exactly
# the files expected; its trailhost-pack must give the version of CMakeLists.txt and find nothing
# wrong with its sample stack once the servers are in place; and its launcher must run that
# stack: the browser gets the page, and the launcher ends by itself with 0 and leaves no runtime
# folder. The zip runs under Wine (in WINDOWS_BIN's build prefix, on the caller's display), the
# tarball and the Debian package natively. The demo stack must check clean too.
#
# Every check is one line "ok|FAIL|skip <case>: <what>"; RESULT_XML counts them for scripts/test.
set -uo pipefail

src=$(cd "$1" && pwd)
dist=$(cd "$2" && pwd)
linux_bin=$(cd "$3" && pwd)
windows_bin=$(cd "$4" && pwd)
work=$5
xml=$6
. "$src/tests/e2e/e2e_common.sh"

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
version=$(sed -n 's/^project(Trailhost VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")

export WINEPREFIX=${WINEPREFIX:-${windows_bin%/bin}/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The files below a folder, one a line, relative and sorted.
files_below() { (cd "$1" && find . -type f | sed 's|^\./||' | LC_ALL=C sort); }

# The lines of the expected list that differ from the files below the folder.
same_files() {  # same_files folder expected_file
    diff <(files_below "$1") "$2" >"$case_dir/files.diff"
}

# The sample's hub_config.ini set to this run: free ports, the browser given, its own name. The
# values reach awk through the environment, where backslashes stay what they are.
configure_run() {  # configure_run stack browser_path web_port db_port
    local file="$1/hub_config.ini"
    NAME="Archive $case_name" BROWSER=$2 WEB=$3 DB=$4 awk '
        /^ServerName=/ { $0 = "ServerName=" ENVIRON["NAME"] }
        /^Port=/ { $0 = "Port=" ENVIRON["WEB"] }
        /^MySQLPort=/ { $0 = "MySQLPort=" ENVIRON["DB"] }
        /^BrowserType=/ { $0 = "BrowserType=CHROMIUM" }
        /^BrowserPath=/ { $0 = "BrowserPath=" ENVIRON["BROWSER"] }
        { print }' "$file" >"$file.new" && mv "$file.new" "$file"
}

no_process_in() { [ -z "$(pids_in "$1")" ]; }

# The sample stack of a package made runnable (the helpers of the platform's test build at the
# places its hub_config.ini names, a site and a database folder) and run once on free ports (web
# and db) with the browser given: trailhost-pack checks it clean, and the launcher, natively or
# under Wine, ends by itself with 0 and leaves no runtime folder and no process of the stack.
run_sample() {  # run_sample linux|windows stack pack_tool browser
    local stack=$2 pack=$3 browser=$4 to=echo exe="" helpers=$linux_bin web_server=server/Apache/Apache
    local -a with=(env -u DISPLAY -u WAYLAND_DISPLAY TMPDIR="$case_dir/tmp")
    temp_dir="$case_dir/tmp"
    if [ "$1" = windows ]; then
        to=winpath exe=.exe helpers=$windows_bin web_server=server/Apache/bin/httpd.exe with=(wine)
        temp_dir=$(winepath -u "$(wine cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')" 2>/dev/null)
    fi
    mkdir -p "$stack/$(dirname "$web_server")" "$stack/server/mysql/bin" "$stack/server/mysql/share" \
        "$stack/htdocs" "$stack/dbdir/site" "$case_dir/tmp"
    cp "$helpers/fake_web$exe" "$stack/$web_server"
    cp "$helpers/fake_db$exe" "$stack/server/mysql/bin/mysqld$exe"
    cp "$helpers/fake_dbadmin$exe" "$stack/server/mysql/bin/mysqladmin$exe"
    printf '<?php echo "site"; ?>\n' >"$stack/htdocs/index.php"
    printf 'data' >"$stack/dbdir/site/t.frm"
    check "the sample stack checks clean" checks_clean check.txt "${with[@]}" "$pack" check "$($to "$stack")"
    web=$(pick_port)
    db=$(pick_port)
    configure_run "$stack" "$($to "$browser")" "$web" "$db"
    note_runtime_folders
    run=$case_dir
    FAKE_BROWSER_LOG="$($to "$run/browser.log")" TRH_TRACE="$($to "$run/trace.txt")" \
        timeout 120 "${with[@]}" "$stack/trailhost$exe" </dev/null >"$run/out.txt" 2>&1
    check "the launcher ended by itself with 0" test "$?" = 0
    # (A folder left by an earlier run that was killed may go too: the run undoes it.)
    check "the runtime folder is gone" eval '[ -n "$temp_dir" ] && no_runtime_folder'
    [ "$1" = windows ] || check "nothing else is left in the temporary folder" eval '[ -z "$(ls -A "$temp_dir")" ]'
    check "no process of the stack is left" wait_for 10 no_process_in "$stack"
}

# The check of a stack with a trailhost-pack: clean (exit 0), its output kept in the case folder.
checks_clean() {  # checks_clean output_name command...
    local out="$case_dir/$1"
    shift
    "$@" >"$out" 2>&1
}

# ---- the cases -------------------------------------------------------------------------------

# The zip (run under Wine) or the tarball (run natively): exactly the expected files, the version,
# and the sample stack served.
unpacked_case() {  # unpacked_case windows|linux archive name unpack_command...
    local platform=$1 archive=$2 name=$3 top="$case_dir/unpacked" stack web db exe="" run=() bin=$linux_bin
    shift 3
    [ "$platform" = windows ] && exe=.exe run=(wine) bin=$windows_bin
    check "the archive is there, named after version $version" test -f "$archive"
    mkdir -p "$top"
    check "the archive unpacks" "$@" "$archive" "$top"
    { printf '%s\n' "$name/authoring.md" "$name/stack/hub_config.ini" "$name/stack/trailhost$exe" \
        "$name/trailhost-pack$exe" "$name"/stack/server/config_tpl/{httpd.conf,my.ini,php.ini}
      [ "$platform" = windows ] || echo "$name/stack/trailhost-desktop"; } | LC_ALL=C sort >"$case_dir/expected"
    check "the archive holds exactly the expected files" same_files "$top" "$case_dir/expected"
    check "trailhost-pack$exe --version says $version" \
        eval '[ "$("${run[@]}" "$top/$name/trailhost-pack$exe" --version 2>/dev/null | tr -d "\r")" = "trailhost-pack $version" ]'
    run_sample "$platform" "$top/$name/stack" "$top/$name/trailhost-pack$exe" "$bin/fake_browser$exe"
    check_page_served "http://127.0.0.1:$web/index.php"
}
unzip_to() { unzip -q "$1" -d "$2"; }
untar_to() { tar -xzf "$1" -C "$2"; }
case_zip() { unpacked_case windows "$dist/trailhost-$version-windows-x86.zip" "trailhost-$version-windows-x86" unzip_to; }
case_tarball() { unpacked_case linux "$dist/trailhost-$version-linux-x86_64.tar.gz" "trailhost-$version-linux-x86_64" untar_to; }

case_deb() {
    local deb="$dist/trailhost_${version}_amd64.deb" root="$case_dir/root" stack web db field
    check "the Debian package is there, named after version $version" test -f "$deb"
    printf '%s\n' usr/bin/trailhost usr/bin/trailhost-desktop usr/bin/trailhost-pack usr/bin/trailhost-view \
        usr/share/doc/trailhost/authoring.md usr/share/trailhost/stack/hub_config.ini \
        usr/share/trailhost/stack/server/config_tpl/httpd.conf \
        usr/share/trailhost/stack/server/config_tpl/my.ini \
        usr/share/trailhost/stack/server/config_tpl/php.ini | LC_ALL=C sort >"$case_dir/expected"
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | LC_ALL=C sort \
        >"$case_dir/listed"
    check "the package lists exactly the expected files" \
        eval 'diff "$case_dir/listed" "$case_dir/expected" >"$case_dir/files.diff"'
    check "the package is trailhost $version for amd64" \
        eval '[ "$(dpkg-deb -f "$deb" Package Version Architecture | tr "\n" " ")" = "Package: trailhost Version: $version Architecture: amd64 " ]'
    dpkg-deb -f "$deb" Depends >"$case_dir/depends"
    # The libraries the programs link, as dpkg-shlibdeps found them.
    for field in libc6 libstdc++6 libqt6core6 libqt6widgets6 libtomcrypt1 zlib1g; do
        check "the package depends on $field" grep -q "\(^\|, \)$field\( \|,\|$\)" "$case_dir/depends"
    done
    mkdir -p "$root"
    check "dpkg-deb -x unpacks it" dpkg-deb -x "$deb" "$root"
    check "the unpacked files are the listed ones" same_files "$root" "$case_dir/expected"
    check "trailhost-pack --version says $version" \
        eval '[ "$("$root/usr/bin/trailhost-pack" --version)" = "trailhost-pack $version" ]'

    # The launcher put into a copy of the sample stack, with the package's console browser.
    stack="$case_dir/stack"
    cp -r "$root/usr/share/trailhost/stack" "$stack"
    cp "$root/usr/bin/trailhost" "$root/usr/bin/trailhost-desktop" "$stack/"
    run_sample linux "$stack" "$root/usr/bin/trailhost-pack" "$root/usr/bin/trailhost-view"
    check "trailhost-view showed the page" has "$case_dir/out.txt" "---- http://127.0.0.1:$web/index.php ----"
}

# The demo stack, assembled with the tarball's programs, and its encrypted variant check clean.
case_demo() {
    local name="trailhost-$version-linux-x86_64" bin="$case_dir/bin" out="$case_dir/demo"
    mkdir -p "$bin"
    tar -xzf "$dist/$name.tar.gz" -C "$case_dir" "$name/stack/trailhost" \
        "$name/stack/trailhost-desktop" "$name/trailhost-pack"
    cp "$case_dir/$name/stack/trailhost" "$case_dir/$name/stack/trailhost-desktop" \
        "$case_dir/$name/trailhost-pack" "$bin/"
    if ! bash "$src/scripts/assemble-demo" "$bin" "$out" >"$case_dir/assemble.log" 2>&1; then
        echo "FAIL $case_name: the demo stack could not be assembled" >>"$results"
        return
    fi
    check "the demo stack checks clean" checks_clean check.txt "$bin/trailhost-pack" check "$out/stack"
    check "the encrypted demo stack checks clean" \
        checks_clean check-encrypted.txt "$bin/trailhost-pack" check "$out/stack-encrypted"
}

started=$SECONDS
cases=${ARCHIVE_CASES:-zip tarball deb demo}
for c in $cases; do
    begin_case "$c"
    "case_$c"
done
collect_results archives "$((SECONDS - started))" "$cases" '*.txt' '*.diff'
write_result_xml archives "$xml"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
