#!/usr/bin/env bash
# The migration's -o FILE, run as an administrator would, under the usual
# umask 022: FILE holds exactly what standard output would have carried,
# with mode 0600; a migration or a write that fails leaves FILE as it was,
# or absent, and no temporary file beside it.
#
# Usage: tests/tools/cfgmigrate_output_check.sh MIGRATE EXAMPLE
set -eu
migrate=$(realpath "$1")
example=$(realpath "$2")
. "$(dirname "$0")/cli_case.sh"

work=$(mktemp -d -t cfgmigrate-output.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
umask 022
printf '<onyxcast_v0>\n  <sourcepassword>hackme</sourcepassword>\n</onyxcast_v0>\n' > no-url.xml
"$migrate" -0 "$example" > expected.xml

failed=0
fail() {
    echo "$case: $*"
    failed=1
}
# run STATUS ARGS...: the migration in the case's folder, from its parent,
# ends with STATUS and writes nothing to standard output; its messages,
# without the system log's framing, are left in $case.err.
run() {
    local want=$1 status=0
    shift
    "$migrate" "$@" > "$case.out" 2> "$case.raw" || status=$?
    cli_case_strip_framing "$case.raw" > "$case.err"
    [ "$status" = "$want" ] || fail "status $status, expected $want: $(cat "$case.err")"
    [ ! -s "$case.out" ] || fail "wrote to standard output"
}
# listing FOLDER: its entries, hidden ones included: a temporary file
# left behind shows here.
listing() {
    (cd "$1" && LC_ALL=C ls -A)
}
expect_listing() { # FOLDER ENTRIES...
    local want
    want=$(printf '%s\n' "${@:2}")
    [ "$(listing "$1")" = "$want" ] || fail "$1 holds: $(listing "$1" | tr '\n' ' ')"
}

case=new-file
mkdir "$case"
run 0 -0 "$example" -o "$case/onyxcast.conf"
cmp -s expected.xml "$case/onyxcast.conf" || fail "not what standard output carries"
[ "$(stat -c %a "$case/onyxcast.conf")" = 600 ] ||
    fail "mode $(stat -c %a "$case/onyxcast.conf") under umask 022"
expect_listing "$case" onyxcast.conf

# The document does not need standard output at all.
case=stdout-closed
mkdir "$case"
status=0
"$migrate" -0 "$example" -o "$case/onyxcast.conf" >&- 2> "$case.raw" || status=$?
[ "$status" = 0 ] || fail "status $status: $(cat "$case.raw")"
cmp -s expected.xml "$case/onyxcast.conf" || fail "not what standard output carries"

for case in failed-migration-existing failed-migration-absent; do
    mkdir "$case"
    [ "$case" = failed-migration-existing ] && echo 'the old file' > "$case/onyxcast.conf"
    run 1 -0 no-url.xml -o "$case/onyxcast.conf"
    if [ "$case" = failed-migration-existing ]; then
        [ "$(cat "$case/onyxcast.conf")" = 'the old file' ] || fail "the old file was changed"
        expect_listing "$case" onyxcast.conf
    else
        expect_listing "$case"
    fi
done

# Past the file size limit: a write error, not a signal.
case=write-fails
mkdir "$case"
echo 'the old file' > "$case/onyxcast.conf"
# Messages go to a pipe: a file would meet the limit as well.
status=0
messages=$(ulimit -f 0 && exec "$migrate" -0 "$example" -o "$case/onyxcast.conf" 2>&1 > /dev/null) ||
    status=$?
[ "$status" = 1 ] || fail "status $status, expected 1"
printf '%s\n' "$messages" > "$case.raw"
cli_case_strip_framing "$case.raw" > "$case.err"
grep -qx "$case/onyxcast.conf: cannot write: File too large" "$case.err" ||
    fail "unexpected messages: $(cat "$case.err")"
[ "$(cat "$case/onyxcast.conf")" = 'the old file' ] || fail "the old file was changed"
expect_listing "$case" onyxcast.conf

# A folder in FILE's place stays as it was.
case=file-is-a-folder
mkdir -p "$case/onyxcast.conf"
touch "$case/onyxcast.conf/inside"
run 1 -0 "$example" -o "$case/onyxcast.conf"
grep -qx "$case/onyxcast.conf: not a regular file (directory)" "$case.err" ||
    fail "unexpected messages: $(cat "$case.err")"
expect_listing "$case" onyxcast.conf
expect_listing "$case/onyxcast.conf" inside

[ "$failed" = 0 ] && echo "all cases passed"
exit "$failed"
