#!/usr/bin/env bash
# Runs one command-line golden case and compares the outcome byte for byte.
#
# A case is a folder: `args` (one argument per line), optionally `argv0`
# (the name to start the program under), the input files it names, and the
# expectations `expected.stdout`, `expected.stderr` (after removing the
# system log's "NAME[PID]: " framing) and `expected.status`. A missing
# expectation file means empty output, or status 0. A file `stdout-to`
# names where standard output goes instead (such as /dev/full).
#
# The case runs in a copy of its folder, so paths in messages are the
# relative ones of `args`; the copy of a failing case is kept for a look.
set -u
tool=$1
case_dir=$2

work=$(mktemp -d "${TMPDIR:-/tmp}/cli-case.XXXXXX")
cp -R "$case_dir"/. "$work"/
cd "$work" || exit 1

args=()
if [ -f args ]; then
    while IFS= read -r line || [ -n "$line" ]; do
        args+=("$line")
    done < args
fi
argv0=onyxcast-cfgmigrate
[ -f argv0 ] && argv0=$(cat argv0)
[ -x setup ] && ./setup

stdout_to=actual.stdout
[ -f stdout-to ] && stdout_to=$(cat stdout-to)
(exec -a "$argv0" "$tool" "${args[@]}") > "$stdout_to" 2> actual.stderr.raw < /dev/null
status=$?
[ -f actual.stdout ] || : > actual.stdout

progname=${argv0##*/}
progname_re=$(printf '%s' "$progname" | sed 's/[][\.*^$/+?(){}|]/\\&/g')
sed -E "s/^${progname_re}\[[0-9]+\]: //" actual.stderr.raw > actual.stderr

expected_status=0
[ -f expected.status ] && expected_status=$(tr -d '[:space:]' < expected.status)
[ -f expected.stdout ] || : > expected.stdout
[ -f expected.stderr ] || : > expected.stderr

failed=0
if [ "$status" != "$expected_status" ]; then
    echo "status: expected $expected_status, got $status"
    failed=1
fi
if ! cmp -s expected.stdout actual.stdout; then
    echo "standard output differs:"
    diff -u expected.stdout actual.stdout | head -50
    failed=1
fi
if ! cmp -s expected.stderr actual.stderr; then
    echo "standard error differs:"
    diff -u expected.stderr actual.stderr | head -50
    failed=1
fi
if [ -n "${ONYX_XMLCHECK:-}" ] && [ "$status" = 0 ] && [ -s actual.stdout ]; then
    if ! "$ONYX_XMLCHECK" actual.stdout; then
        echo "standard output is not well-formed XML"
        failed=1
    fi
fi

if [ "$failed" = 0 ]; then
    cd / && rm -rf "$work"
else
    echo "case kept in $work"
fi
exit "$failed"
