#!/usr/bin/env bash
# Runs the tool on command-line cases with one allocation failing, for every
# allocation of the run in turn, and judges how each run ends.
#
# Usage: tests/tools/failalloc_check.sh TOOL SHIM CASE_DIR...
#
# A case folder has the layout of the golden cases (args, argv0, setup,
# input files, stdin-from). First a clean run gives the number N of allocations and the
# outcome to compare with; then for every k from 1 to N the k-th allocation
# fails once, and once more with it and every later one failing. Each such
# run must either end exactly like the clean run (the failure hit memory the
# tool could do without) or say that memory ran out and end with status 1
# (or with status 0 and the clean run's document, when the library got over
# it). Never a signal, never a sanitizer report, never a usage status, and
# never status 0 with a document other than the clean run's.
#
# For a case that writes its document with -o FILE, the document is FILE:
# each run starts without it, and a run that fails must not make it, nor
# leave a temporary file beside it.
set -u
tool=$(realpath "$1")
shim=$(realpath "$2")
shift 2
. "$(dirname "$0")/cli_case.sh"

# What a run may print when memory runs out: the checked allocation's alert,
# the system's reason (ENOMEM, such as for the -o document kept in memory),
# the XML library's own message, or the C library's fallback for syslog.
oom_re='cannot allocate|Cannot allocate memory|Memory allocation failed|out of memory'

failures=0
for case_dir in "$@"; do
    name=$(basename "$case_dir")
    work=$(mktemp -d "${TMPDIR:-/tmp}/failalloc.XXXXXX")
    cp -R "$case_dir"/. "$work"/
    (
        cd "$work" || exit 1
        cli_case_prepare "$case_dir" || exit 1
        output=
        for ((i = 0; i + 1 < ${#args[@]}; i++)); do
            [ "${args[i]}" = -o ] && output=${args[i + 1]}
        done

        # run PREFIX [WHICH]: leaves PREFIX.out, PREFIX.raw and the
        # status in $status; with -o, the file's contents in PREFIX.out,
        # whether it was made in $made, and a temporary file left in
        # $leftover
        run() {
            local prefix=$1 which=${2:-}
            made='' leftover=''
            [ -z "$output" ] || rm -f "$output"
            (
                export LD_PRELOAD="$shim"
                if [ -n "$which" ]; then
                    export ONYX_FAIL_ALLOC="$which"
                else
                    export ONYX_COUNT_ALLOC="$work/count"
                fi
                exec -a "$argv0" "$tool" "${args[@]}"
            ) > "$prefix.out" 2> "$prefix.raw" < "$(cli_case_stdin)"
            status=$?
            if [ -n "$output" ]; then
                if [ -e "$output" ]; then
                    made=1
                    cat "$output" >> "$prefix.out"
                fi
                leftover=$(find "$(dirname "$output")" -maxdepth 1 \
                    -name ".$(basename "$output").*" -print -delete)
            fi
        }

        run clean
        clean_status=$status
        cli_case_strip_framing clean.raw > clean.err
        total=$(< count) || total=0
        if [ "$total" -le 0 ]; then
            echo "$name: the shim counted no allocation; is it loaded?"
            exit 1
        fi
        bad=0
        for ((k = 1; k <= total; k++)); do
            for which in "$k" "$k+"; do
                run try "$which"
                why=
                if [ "$status" -gt 2 ]; then
                    why="ended with status $status (signal or crash)"
                elif [ -n "$leftover" ]; then
                    why="left $leftover behind"
                elif [ "$status" != 0 ] && [ -n "$made" ]; then
                    why="status $status, and made $output all the same"
                elif grep -qE 'Sanitizer|runtime error' try.raw; then
                    why="sanitizer report"
                elif [ "$status" = 0 ] && ! cmp -s try.out clean.out; then
                    why="status 0 with a document other than the clean run's"
                elif grep -qE "$oom_re" try.raw; then
                    # It said why; a document, if any, was the clean one.
                    [ "$status" = 0 ] || [ "$status" = 1 ] || why="status $status"
                elif [ "$status" != "$clean_status" ] || ! cmp -s try.out clean.out ||
                    ! cli_case_strip_framing try.raw | cmp -s - clean.err; then
                    why="status $status, outcome changed without saying that memory ran out"
                fi
                if [ -n "$why" ]; then
                    bad=$((bad + 1))
                    if [ "$bad" -le 10 ]; then
                        echo "$name: allocation $which: $why"
                        sed 's/^/    /' try.raw | head -8
                    fi
                fi
            done
        done
        echo "$name: $total allocations, $((2 * total)) failing runs, $bad bad"
        [ "$bad" = 0 ]
    ) || failures=$((failures + 1))
    rm -rf "$work"
done
exit $((failures > 0))
