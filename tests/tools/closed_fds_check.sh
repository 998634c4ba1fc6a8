#!/usr/bin/env bash
# Runs the migration with standard input, output or error closed while a
# system log daemon listens, and checks that nothing of the document
# reaches the log, that a closed standard output ends the run with status 1
# and a clear message, and that no message reaches the log twice. The
# checker, which must not log at all, sends the daemon nothing, whatever
# it says and whichever descriptors are closed.
#
# Usage: tests/tools/closed_fds_check.sh TOOL CHECKER LISTENER
#
# A descriptor left closed at start is taken by the next one opened, such as
# the log's socket; then whatever is written to it goes to the log. That
# shows only where something listens at /dev/log, so the check runs as root
# in a private mount namespace, with a folder of its own over /dev holding
# /dev/null and a socket at /dev/log that LISTENER (log_listener.c) reads.
# Exit status 77 (skipped) without root or mount namespaces.
set -u
tool=$(realpath "$1")
checker=$(realpath "$2")
listener=$(realpath "$3")
. "$(dirname "$0")/cli_case.sh"
skipped=77

if [ -z "${ONYX_CLOSED_FDS_WORK:-}" ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "skipped: needs root, to mount a private /dev"
        exit "$skipped"
    fi
    if ! command -v unshare > /dev/null || ! unshare -m true 2> /dev/null; then
        echo "skipped: no mount namespace (unshare -m)"
        exit "$skipped"
    fi
    # The folder is removed out here, where the mounts on it are gone.
    work=$(mktemp -d "${TMPDIR:-/tmp}/closed-fds.XXXXXX") || exit 1
    ONYX_CLOSED_FDS_WORK=$work unshare -m --propagation private "$0" "$tool" "$checker" \
        "$listener"
    status=$?
    rm -rf "$work"
    exit "$status"
fi

# From here on in the private mount namespace: the mounts vanish with it.
cd "$ONYX_CLOSED_FDS_WORK" || exit 1
mkdir dev
: > dev/null
mount --bind /dev/null dev/null || exit 1
mount --rbind dev /dev || exit 1
[ -c /dev/null ] || { echo "/dev/null is no device in the private /dev"; exit 1; }
: > empty

password=Kr4ken-pass-7
cat > station.xml <<EOF
<onyxcast>
  <url>http://streamhost:8000/stream.mp3</url>
  <sourcepassword>$password</sourcepassword>
  <format>mp3</format>
  <filename>playlist.m3u</filename>
  <reencode>
    <enable>1</enable>
    <encdec>
      <encode>lame - -</encode>
    </encdec>
    <encdec>
      <decode>mpg123 @T@</decode>
    </encdec>
  </reencode>
</onyxcast>
EOF

# run NAME REDIRECTIONS [COMMAND...]: COMMAND (the migration of station.xml
# when none is given) with its descriptors set up by the shell
# REDIRECTIONS; leaves NAME.out, NAME.err, NAME.log (one line per datagram
# the log received, without the log's framing) and the status in $status.
run() {
    local name=$1 redirections=$2
    shift 2
    [ $# -gt 0 ] || set -- "$tool" -0 station.xml
    "$listener" /dev/log "$name.rawlog" \
        sh -c "exec \"\$@\" $redirections" sh "$@" \
        < empty > "$name.out" 2> "$name.raw"
    status=$?
    sed -E 's/^<[0-9]+>[A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8} //; s/^[^ []*\[[0-9]+\]: //' \
        "$name.rawlog" > "$name.log"
    cli_case_strip_framing "$name.raw" > "$name.err"
}

failed=0
fail() {
    echo "$*"
    failed=1
}

# expect NAME STATUS MESSAGES-FILE: the status, and each message of
# MESSAGES-FILE exactly once in the log, in order, with nothing else there.
expect() {
    local name=$1 want_status=$2 messages=$3
    [ "$status" = "$want_status" ] || fail "$name: status $status, expected $want_status"
    if grep -qF -e "$password" -e '<?xml' -e '<onyxcast>' "$name.rawlog"; then
        fail "$name: the document reached the system log:"
        head -c 400 "$name.rawlog"
        echo
    fi
    if ! cmp -s "$messages" "$name.log"; then
        fail "$name: the log received other than each message once:"
        diff -u "$messages" "$name.log" | head -30
    fi
}

# All descriptors open: the reference the other runs are held to.
run open ""
[ "$status" = 0 ] || fail "open: status $status"
grep -qF "$password" open.out || fail "open: no document on standard output"
[ -s open.err ] || fail "open: no messages on standard error"
cmp -s open.err open.log || {
    fail "open: the log did not receive the messages of standard error:"
    diff -u open.err open.log | head -30
}
cp open.log messages
{ cat messages; echo "standard output: Bad file descriptor"; } > messages-no-output

run stdin-closed "<&-"
expect stdin-closed 0 messages
cmp -s open.out stdin-closed.out || fail "stdin-closed: another document"

run stderr-closed "2>&-"
expect stderr-closed 0 messages
cmp -s open.out stderr-closed.out || fail "stderr-closed: another document"

for closed in "stdout-closed >&-" "stdout-stderr-closed >&- 2>&-" \
    "all-closed <&- >&- 2>&-"; do
    name=${closed%% *}
    run "$name" "${closed#* }"
    expect "$name" 1 messages-no-output
done
cmp -s messages-no-output stdout-closed.err || {
    fail "stdout-closed: standard error lacks the messages or the reason:"
    diff -u messages-no-output stdout-closed.err | head -30
}

# The checker on a file it warns about and prints, and one it refuses:
# all it says is on standard error, and the daemon hears nothing of it.
cp open.out v1.xml
chmod 644 v1.xml
printf '<onyxcast>\n  <servers><server><port>0</port></server></servers>\n</onyxcast>\n' > refused.xml
chmod 600 refused.xml
for closed in "checker-open" "checker-stderr-closed 2>&-" "checker-all-closed <&- >&- 2>&-"; do
    name=${closed%% *}
    run "$name" "${closed#"$name"}" "$checker" -p v1.xml refused.xml
    [ "$status" = 1 ] || fail "$name: status $status, expected 1"
    if [ -s "$name.rawlog" ]; then
        fail "$name: the checker logged:"
        head -5 "$name.rawlog"
    fi
done
grep -qxF "v1.xml: world readable" checker-open.err &&
    grep -qxF "refused.xml: configuration refused" checker-open.err ||
    fail "checker-open: standard error lacks the checker's messages"
grep -qF "$password" checker-open.out || fail "checker-open: no document on standard output"

# Without /dev/null nothing can stand in for a closed descriptor: the run
# must stop before it opens anything, with status 1.
umount /dev/null dev/null && rm dev/null || exit 1
run no-dev-null ">&-"
[ "$status" = 1 ] || fail "no-dev-null: status $status, expected 1"
grep -qF /dev/null no-dev-null.err || fail "no-dev-null: no message naming /dev/null"
[ -s no-dev-null.rawlog ] && fail "no-dev-null: the log received something"
grep -qF "$password" no-dev-null.rawlog && fail "no-dev-null: the document reached the log"

[ "$failed" = 0 ] && echo "closed descriptors: all runs as expected"
exit "$failed"
