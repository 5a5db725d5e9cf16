#!/usr/bin/env bash
# scripts/apt-src-entries, which scripts/setup uses to add the source-package entry, on source
# files of the kinds machines have: deb822 and one-line files, a local mirror with its own key,
# a proxy, entries that must not be taken (other suites, disabled, commented out, without main),
# and sources that have a deb-src entry already.
#   apt_sources_test.sh SOURCE_DIR WORK_DIR RESULT_XML
# Every check is one line "ok|FAIL <case>: <what>"; RESULT_XML counts them for scripts/test.
set -uo pipefail

src=$(cd "$1" && pwd)
work=$2
xml=$3
. "$src/tests/e2e/e2e_common.sh"
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
header='# Source packages for scripts/setup, made from this machine'"'"'s own entries of bookworm.'

# Runs the script on the case's files in/ and compares what it wrote with expected/ (a missing
# expected file means that file must not be written) and its exit status with `status`.
derive() {  # derive status
    mkdir -p "$case_dir/out" "$case_dir/expected"
    bash "$src/scripts/apt-src-entries" bookworm "$case_dir/out" "$case_dir"/in/* \
        >"$case_dir/stderr" 2>&1
    check "exit status $1" test "$?" = "$1"
    local ext e o
    for ext in sources list; do
        e="$case_dir/expected/trailhost-src.$ext" o="$case_dir/out/trailhost-src.$ext"
        if [ -f "$e" ]; then check "trailhost-src.$ext as expected" diff "$e" "$o"
        else check "no trailhost-src.$ext" test ! -e "$o"; fi
    done
}
input() { mkdir -p "$case_dir/in" && cat >"$case_dir/in/$1"; }
expect() { mkdir -p "$case_dir/expected" && { echo "$header"; cat; } >"$case_dir/expected/$1"; }

# The entry is taken whole (several URIs, components, architectures, an inline key with its
# empty line), and a disabled one is passed by.
case_local_mirror_with_inline_key() {
    local entry='URIs: http://mirror.lan/debian/ http://mirror2.lan/debian/
Suites: bookworm
Components: main contrib
Architectures: amd64 i386
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 mQINBGPL0BUBEADmW5NdOOHwPIJlgPu6JDcKw/NZJPR8lsD3K87ZM18gzyQZJD+w
 -----END PGP PUBLIC KEY BLOCK-----'
    input mirror.sources <<S
Types: deb
$entry

Enabled: no
Types: deb
URIs: http://old.lan/debian
Suites: bookworm
Components: main
S
    printf 'Types: deb-src\n%s\n' "$entry" | expect trailhost-src.sources
    derive 0
}

# With entries of both kinds, each kind of file gets its own source entries.
case_both_kinds() {
    input debian.sources <<'S'
Types: deb
# http://snapshot.debian.org/archive/debian/20250520T000000Z
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
S
    expect trailhost-src.sources <<'S'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
S
    input sources.list <<'S'
# deb http://deb.debian.org/debian bookworm main
deb [ arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg ] http://proxy.lan:3142/deb.debian.org/debian bookworm main non-free-firmware
deb http://proxy.lan:3142/deb.debian.org/debian bookworm-updates main
deb http://proxy.lan:3142/security.debian.org/debian-security bookworm-security main
deb https://packages.example.com/apt stable main
deb http://proxy.lan:3142/deb.debian.org/debian bookworm contrib
S
    input extra.list <<'S'
deb [ arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg ] http://proxy.lan:3142/deb.debian.org/debian bookworm main non-free-firmware
S
    expect trailhost-src.list <<'S'
deb-src [ arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg ] http://proxy.lan:3142/deb.debian.org/debian bookworm main non-free-firmware
S
    derive 0
}

case_source_entry_there_already() {
    input debian.sources <<'S'
Types: deb deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
S
    derive 0
}

case_nothing_to_derive_from() {
    input other.sources <<'S'
Types: deb
URIs: https://deb.nodesource.com/node_20.x
Suites: nodistro
Components: main
S
    input old.list <<'S'
deb http://deb.debian.org/debian bullseye main
#deb http://deb.debian.org/debian bookworm main
S
    derive 1
    check "the message names the suite" has "$case_dir/stderr" "no enabled deb entry of bookworm"
}

started=$SECONDS
cases="both_kinds local_mirror_with_inline_key source_entry_there_already nothing_to_derive_from"
for c in $cases; do
    begin_case "$c"
    "case_$c"
done
collect_results "apt sources" "$((SECONDS - started))" "$cases" stderr
write_result_xml apt_sources "$xml"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
