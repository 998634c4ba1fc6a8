#!/usr/bin/env bash
# Inputs that could hold the checker forever or grow it without bound end
# at once: a FIFO without a writer (an open that waits for one), a FIFO
# with a writer that never stops, standard input that never ends, and
# standard input that cannot be read. Each run has a time-out far above
# what it needs, so a checker that waits fails here instead of hanging
# the suite; the time each took is shown.
#
# Usage: tests/tools/cfgcheck_input_check.sh CHECKER
set -u
checker=$(realpath "$1")
. "$(dirname "$0")/cli_case.sh"
limit=10 # seconds; a run takes a few milliseconds, the endless input less than one

work=$(mktemp -d -t cfgcheck-input.XXXXXX) || exit 1
writer=
cleanup() {
    [ -n "$writer" ] && kill "$writer" 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 1

failed=0
# expect NAME STATUS MESSAGE COMMAND...: COMMAND ends within the time-out
# with STATUS, and MESSAGE is a line of its standard error (after the
# "NAME[PID]: " framing).
expect() {
    local name=$1 want_status=$2 message=$3
    shift 3
    local start end status
    start=$(date +%s%N)
    timeout "$limit" "$@" > "$name.out" 2> "$name.raw"
    status=$?
    end=$(date +%s%N)
    cli_case_strip_framing "$name.raw" > "$name.err"
    echo "$name: status $status after $(((end - start) / 1000000)) ms"
    if [ "$status" = 124 ]; then
        echo "$name: still running after $limit s"
        failed=1
        return
    fi
    [ "$status" = "$want_status" ] || { echo "$name: status $status, expected $want_status"; failed=1; }
    grep -qxF -- "$message" "$name.err" || {
        echo "$name: no line \"$message\" on standard error:"
        head -5 "$name.err"
        failed=1
    }
}

mkfifo -m 600 no-writer.xml endless.xml

expect fifo-without-writer 1 "no-writer.xml: not a regular file (FIFO)" \
    "$checker" no-writer.xml

# The writer waits in its open until a reader comes, and gets SIGPIPE once
# the reader has gone.
yes '<onyxcast>' > endless.xml &
writer=$!
expect fifo-with-endless-writer 1 "endless.xml: not a regular file (FIFO)" \
    "$checker" endless.xml

# A pipeline's status is its last command's: the checker's.
expect endless-stdin 1 "-: longer than 67108864 bytes" \
    sh -c 'yes "<onyxcast>" | "$0" -' "$checker"

# A standard input opened for writing only cannot be read.
expect unreadable-stdin 1 "-: Bad file descriptor" \
    sh -c 'exec "$0" - 0> /dev/null' "$checker"

[ "$failed" = 0 ] && echo "every input ended in time"
exit "$failed"
