#!/usr/bin/env bash
# Writes a case's expected.* files from what the tool does now. Review the
# result before committing it: a blessed mistake is a test that lies.
# Usage: tests/tools/bless_cli_case.sh TOOL CASE_DIR...
set -u
tool=$(realpath "$1")
shift
for case_dir in "$@"; do
    work=$(mktemp -d)
    cp -R "$case_dir"/. "$work"/
    (
        cd "$work" || exit 1
        args=()
        if [ -f args ]; then
            while IFS= read -r line || [ -n "$line" ]; do args+=("$line"); done < args
        fi
        argv0=onyxcast-cfgmigrate
        [ -f argv0 ] && argv0=$(cat argv0)
        [ -x setup ] && ./setup
        stdout_to=out
        [ -f stdout-to ] && stdout_to=$(cat stdout-to)
        launch=()
        if [ -f unprivileged ] && [ "$(id -u)" = 0 ]; then
            launch+=(setpriv --inh-caps=-dac_override,-dac_read_search
                     --bounding-set=-dac_override,-dac_read_search --)
        fi
        if [ ${#launch[@]} = 0 ]; then
            (exec -a "$argv0" "$tool" "${args[@]}")
        else
            "${launch[@]}" bash -c 'exec -a "$0" "$@"' "$argv0" "$tool" "${args[@]}"
        fi > "$stdout_to" 2> err < /dev/null
        echo $? > status
        [ -f out ] || : > out
        progname=${argv0##*/}
        progname_re=$(printf '%s' "$progname" | sed 's/[][\.*^$/+?(){}|]/\\&/g')
        sed -E -i "s/^${progname_re}\[[0-9]+\]: //" err
    )
    rm -f "$case_dir"/expected.stdout "$case_dir"/expected.stderr "$case_dir"/expected.status
    [ -s "$work/out" ] && cp "$work/out" "$case_dir/expected.stdout"
    [ -s "$work/err" ] && cp "$work/err" "$case_dir/expected.stderr"
    [ "$(cat "$work/status")" != 0 ] && cp "$work/status" "$case_dir/expected.status"
    rm -rf "$work"
done
