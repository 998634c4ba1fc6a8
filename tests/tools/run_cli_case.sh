#!/usr/bin/env bash
# Runs one command-line golden case and compares the outcome byte for byte.
#
# A case is a folder: `args` (one argument per line), optionally `program`
# (which program the case runs, onyxcast-cfgmigrate when absent) and
# `argv0` (the name to start it under), the input files it names, and the
# expectations `expected.stdout`, `expected.stderr` (after removing the
# system log's "NAME[PID]: " framing) and `expected.status`. A missing
# expectation file means empty output, or status 0. A file `stdout-to`
# names where standard output goes instead (such as /dev/full), or holds
# `closed` to start the tool with standard output closed (not together with
# `limits`: the report of time(1) would take descriptor 1). A file
# `stdin-from` names the file standard input reads, /dev/null when absent.
# Standard output of a successful run must be a well-formed document,
# unless a file `stdout-not-xml` says that the case prints text (help).
#
# A case may take inputs kept once for many cases instead of a copy (see
# cli_case_prepare in cli_case.sh). The case runs in a copy of its folder,
# so paths in messages are the relative ones of `args`; the copy of a
# failing case is kept for a look.
# Files of the copy are readable and writable by their owner only, unless
# `setup` says otherwise.
#
# An executable `setup` runs in the copy first (to make inputs too big or
# too odd to keep in the repository). A file `unprivileged` makes the tool
# run without the capabilities by which root reads any file, so that file
# permissions hold for it too. A file `limits` holding "SECONDS MEGABYTES"
# fails the case when the run takes more processor time (user and system)
# or more memory than that; the caller turns the check on with
# ONYX_LIMITS=1 (builds with sanitizers are slower and bigger). Processor
# time, not the time on the clock: the bound guards against a loop that
# runs away, and a busy machine stretches the clock but not the work. Two more numbers, "LINES KILOBYTES", bound what the
# tool may write to standard error; that bound holds in every build. ONYX_VALGRIND=1 runs the tool under memcheck; any
# memory error or definite or indirect leak fails the case.
#
# ONYX_BLESS=1 writes the case's expected.* files from this run instead of
# comparing (tests/tools/bless_cli_case.sh).
set -u
tool=$1
case_dir=$(realpath "$2")
. "$(dirname "$0")/cli_case.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/cli-case.XXXXXX")
cp -R "$case_dir"/. "$work"/
cd "$work" || exit 1
# Blessing a case with the other program would write a lie.
if [ "$(cli_case_program)" != "${tool##*/}" ]; then
    echo "the case runs $(cli_case_program), not $tool"
    cd / && rm -rf "$work"
    exit 1
fi
cli_case_prepare "$case_dir" || { echo "case not prepared; kept in $work"; exit 1; }

# Programs the tool runs under, outermost first. Each would start the tool
# under its own name, so the innermost step is a shell that sets argv[0].
launch=()
check_limits=
if [ -f limits ] && [ "${ONYX_LIMITS:-}" = 1 ] && [ -z "${ONYX_VALGRIND:-}" ]; then
    if [ -x /usr/bin/time ]; then
        read -r max_seconds max_megabytes _ < limits
        launch+=(/usr/bin/time -f '%U %S %M' -o "$work/usage")
        check_limits=1
    else
        echo "limits not checked: /usr/bin/time is missing (Debian package time)"
    fi
fi
if [ -f unprivileged ] && [ "$(id -u)" = 0 ]; then
    launch+=(setpriv --inh-caps=-dac_override,-dac_read_search
             --bounding-set=-dac_override,-dac_read_search --)
fi
valgrind_path=
if [ -n "${ONYX_VALGRIND:-}" ]; then
    # valgrind starts its program under the name it was given, so the tool
    # is found through PATH under the wanted name. A name with a "/" in it
    # (or an empty one) cannot be had that way; such a case runs without
    # valgrind.
    if [ -n "$argv0" ] && [ "${argv0#*/}" = "$argv0" ]; then
        mkdir -p "$work/.bin"
        ln -s "$tool" "$work/.bin/$argv0"
        valgrind_path=$work/.bin:$PATH
        launch+=(valgrind --quiet --error-exitcode=99 --leak-check=full
                 --errors-for-leak-kinds=definite,indirect
                 --log-fd=9)
    fi
fi

launch_tool() {
    if [ ${#launch[@]} = 0 ]; then
        (exec -a "$argv0" "$tool" "${args[@]}")
    elif [ -n "$valgrind_path" ]; then
        # The report goes to a descriptor opened here: a file valgrind
        # opened itself could take the place of a closed standard output.
        PATH=$valgrind_path "${launch[@]}" "$argv0" "${args[@]}" 9> "$work/valgrind.log"
    else
        "${launch[@]}" bash -c 'exec -a "$0" "$@"' "$argv0" "$tool" "${args[@]}"
    fi
}
stdout_to=actual.stdout
[ -f stdout-to ] && stdout_to=$(cat stdout-to)
stdin_from=$(cli_case_stdin)
if [ "$stdout_to" = closed ]; then
    launch_tool >&- 2> actual.stderr.raw < "$stdin_from"
else
    launch_tool > "$stdout_to" 2> actual.stderr.raw < "$stdin_from"
fi
status=$?
[ -f actual.stdout ] || : > actual.stdout

cli_case_strip_framing actual.stderr.raw > actual.stderr

if [ "${ONYX_BLESS:-}" = 1 ]; then
    rm -f "$case_dir"/expected.stdout "$case_dir"/expected.stderr "$case_dir"/expected.status
    [ -s actual.stdout ] && cp actual.stdout "$case_dir/expected.stdout"
    [ -s actual.stderr ] && cp actual.stderr "$case_dir/expected.stderr"
    [ "$status" != 0 ] && echo "$status" > "$case_dir/expected.status"
    cd / && rm -rf "$work"
    exit 0
fi

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
if [ -n "${ONYX_VALGRIND:-}" ]; then
    if [ -s valgrind.log ]; then
        echo "valgrind reports:"
        head -60 valgrind.log
        failed=1
    fi
fi
if [ -n "$check_limits" ]; then
    read -r user system kilobytes < <(tail -n 1 usage)
    seconds=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
    echo "used $seconds s of processor time and $kilobytes KB (limits $max_seconds s, $max_megabytes MB)"
    if ! awk -v s="$seconds" -v m="$max_seconds" 'BEGIN { exit !(s <= m) }'; then
        echo "took $seconds s of processor time, more than $max_seconds s"
        failed=1
    fi
    if [ "$kilobytes" -gt $((max_megabytes * 1024)) ]; then
        echo "took $kilobytes KB of memory, more than $max_megabytes MB"
        failed=1
    fi
fi
if [ -n "${ONYX_XMLCHECK:-}" ] && [ "$status" = 0 ] && [ -s actual.stdout ] &&
    [ ! -f stdout-not-xml ]; then
    if ! "$ONYX_XMLCHECK" actual.stdout; then
        echo "standard output is not well-formed XML"
        failed=1
    fi
fi

# Whatever the case, standard error holds no control character but the
# line ends (a value that could end a line would forge a message, one that
# could move the cursor would rewrite the terminal), and no password of
# the case's inputs: neither a <password> or <sourcepassword> text nor the
# password of a URL's user information, nor a piece of one between '/',
# '@' and ':' (a message that cut a password there would show the start).
if LC_ALL=C grep -aq '[[:cntrl:]]' actual.stderr.raw; then
    echo "standard error holds a control character:"
    LC_ALL=C grep -an '[[:cntrl:]]' actual.stderr.raw | cat -A | head -5
    failed=1
fi
find . -type f ! -name 'expected.*' ! -name 'actual.*' ! -name usage ! -name valgrind.log \
    -exec cat {} + 2> /dev/null |
    LC_ALL=C grep -aoE '<(source)?password>[^<]*</(source)?password>|<url>[^<]*</url>' |
    LC_ALL=C sed -nE -e 's#^<(source)?password>(.*)</(source)?password>$#\2#p' \
        -e 's#^<url>[^:]*://[^:@/]*:(.*)@[^@:/]*:[^@]*</url>$#\1#p' |
    while IFS= read -r secret; do
        printf '%s\n' "$secret"
        printf '%s\n' "$secret" | tr '/@:' '\n\n\n'
    done | awk 'length >= 4' | sort -u > secrets
if [ -s secrets ] && LC_ALL=C grep -aqF -f secrets actual.stderr; then
    echo "standard error shows a password of the input:"
    LC_ALL=C grep -aF -f secrets actual.stderr | head -5
    failed=1
fi

if [ -f limits ]; then
    read -r _ _ max_lines max_kilobytes < limits
    if [ -n "${max_kilobytes:-}" ]; then
        lines=$(wc -l < actual.stderr.raw)
        bytes=$(wc -c < actual.stderr.raw)
        if [ "$lines" -gt "$max_lines" ] || [ "$bytes" -gt $((max_kilobytes * 1024)) ]; then
            echo "standard error took $lines lines and $bytes bytes (limits $max_lines lines, $max_kilobytes KB)"
            failed=1
        fi
    fi
fi

if [ "$failed" = 0 ]; then
    cd / && rm -rf "$work"
else
    echo "case kept in $work"
fi
exit "$failed"
