#!/usr/bin/env bash
# Each program shows the project's version, one line on standard output
# with status 0, for -V, --version and a shortened --vers alike, before
# options it would refuse; a version that cannot be written whole is a
# failure.
#
# Usage: tests/tools/version_check.sh VERSION PROGRAM...
set -eu
version=$1
shift

work=$(mktemp -d -t version-check.XXXXXX)
trap 'rm -rf "$work"' EXIT

failed=0
for program in "$@"; do
    name=${program##*/}
    for args in -V --version --vers '-V -z' '-vV'; do
        status=0
        # shellcheck disable=SC2086 # each entry is a list of arguments
        "$program" $args > "$work/out" 2> "$work/err" < /dev/null || status=$?
        if [ "$status" != 0 ] || [ "$(cat "$work/out")" != "$name $version" ] ||
            [ "$(wc -l < "$work/out")" != 1 ] || [ -s "$work/err" ]; then
            echo "$name $args: status $status, output '$(cat "$work/out")', messages '$(cat "$work/err")'"
            failed=1
        fi
    done
    status=0
    "$program" --version > /dev/full 2> "$work/err" || status=$?
    if [ "$status" != 1 ] || ! grep -q 'standard output: No space left on device' "$work/err"; then
        echo "$name --version > /dev/full: status $status, messages '$(cat "$work/err")'"
        failed=1
    fi
done
[ "$failed" = 0 ] && echo "version $version shown by: $*"
exit "$failed"
