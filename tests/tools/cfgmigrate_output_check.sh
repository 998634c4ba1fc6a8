#!/usr/bin/env bash
# The migration's -o FILE, run as an administrator would, under the usual
# umask 022: FILE holds exactly what standard output would have carried,
# with mode 0600, whatever the length of its name; a migration or a write
# that fails leaves FILE as it was, or absent, and no temporary file beside
# it; anything but a regular file at FILE is refused before the input is
# read; and FILE is shown escaped in messages.
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

# The longest name a folder takes, made and then replaced: the temporary
# file's name must not be longer than the file's.
case=longest-name
mkdir "$case"
longest=$(printf '%0255d' 0)
for round in new replaced; do
    run 0 -0 "$example" -o "$case/$longest"
    cmp -s expected.xml "$case/$longest" || fail "$round: not what standard output carries"
    expect_listing "$case" "$longest"
done

# Anything but a regular file is refused, before the input is read (it
# does not exist here, which would be the message otherwise), and left as
# it was: a device or a FIFO would become a private file with the
# password, a link would lose what it points to. The case's folder is the
# machine's own temporary one, never /dev.
# identity FILE: what stands at FILE itself, links not followed.
identity() {
    stat -c '%d:%i %F' "$1"
    [ ! -L "$1" ] || readlink "$1"
}
refused='not a regular file'
for case in fifo socket character-device block-device folder link-to-file link-to-fifo \
    link-to-stdout; do
    mkdir "$case"
    target=$case/onyxcast.conf
    case "$case" in
    fifo)
        mkfifo "$target"
        want="$refused (FIFO)" ;;
    socket)
        if ! python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' \
            "$target" 2> /dev/null; then
            echo "$case: skipped: python3 cannot make a socket here"
            continue
        fi
        want="$refused (socket)" ;;
    character-device | block-device)
        if [ "$case" = character-device ]; then
            made=$(mknod "$target" c 1 3 2>&1) && want="$refused (character device)"
        else
            made=$(mknod "$target" b 7 0 2>&1) && want="$refused (block device)"
        fi || {
            echo "$case: skipped: $made"
            continue
        } ;;
    folder)
        mkdir "$target"
        echo 'inside' > "$target/inside"
        want="$refused (directory)" ;;
    link-to-file)
        echo 'the old file' > "$case/real.conf"
        ln -s real.conf "$target"
        want="$refused (symbolic link to real.conf): give the path it points to" ;;
    link-to-fifo)
        mkfifo "$case/fifo"
        ln -s fifo "$target"
        want="$refused (symbolic link to fifo): give the path it points to" ;;
    link-to-stdout)
        ln -s /proc/self/fd/1 "$target"
        want="$refused (symbolic link to /proc/self/fd/1): give the path it points to" ;;
    esac
    before=$(identity "$target")
    entries=$(listing "$case")
    run 1 -0 never-read.xml -o "$target"
    [ "$(cat "$case.err")" = "$target: $want" ] || fail "unexpected messages: $(cat "$case.err")"
    [ "$(identity "$target")" = "$before" ] || fail "now $(identity "$target"), was $before"
    [ "$(listing "$case")" = "$entries" ] || fail "$case holds: $(listing "$case" | tr '\n' ' ')"
done
[ "$(cat link-to-file/real.conf)" = 'the old file' ] || fail "the link's file was changed"
[ "$(cat folder/onyxcast.conf/inside)" = 'inside' ] || fail "the folder's file was changed"

# A path is shown as every value is, its line break and control character
# escaped: written raw they would forge a line of the log. The folder
# named in the message is escaped too.
case=path-escaped
mkdir "$case"
mkfifo "$case/fi"$'\n'"fo"
run 1 -0 "$example" -o "$case/fi"$'\n'"fo"
[ "$(cat "$case.err")" = "$case/fi\\nfo: $refused (FIFO)" ] ||
    fail "unexpected messages: $(cat "$case.err")"
run 1 -0 "$example" -o "$case/no"$'\n'"where"$'\001'"/onyxcast.conf"
[ "$(cat "$case.err")" = "$case/no\\nwhere\\x01/onyxcast.conf: cannot open the folder $case/no\\nwhere\\x01: No such file or directory" ] ||
    fail "unexpected messages: $(cat "$case.err")"

[ "$failed" = 0 ] && echo "all cases passed"
exit "$failed"
