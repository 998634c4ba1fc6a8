#!/usr/bin/env bash
# The bash completions of both programs, called as bash calls them: each
# file, sourced, registers its function for its command, and the function
# offers options, file names after -0 and -o and for the checker's files,
# nothing after -n, and nothing but files once options have ended.
#
# Usage: tests/tools/completion_check.sh COMPLETIONS_DIR
set -eu
completions=$(realpath "$1")

work=$(mktemp -d -t completion-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir stations
touch station.xml notes.txt ./-odd.conf

failed=0
for program in onyxcast-cfgmigrate onyxcast-cfgcheck; do
    # shellcheck source=/dev/null
    . "$completions/$program"
    registered=$(complete -p "$program")
    [ "$registered" = "complete -F _${program//-/_} $program" ] || {
        echo "$program: registered as: $registered"
        failed=1
    }
done

# WORDS (the line, the word completed last; a trailing blank completes an
# empty word) | EXPECTED (what is offered, sorted, blank-separated)
while IFS='|' read -r line expected; do
    [ -n "$line" ] || continue
    read -r -a COMP_WORDS <<< "$line"
    [ "${line: -1}" = ' ' ] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    complete_function=$(complete -p "${COMP_WORDS[0]}" | awk '{ print $3 }')
    "$complete_function"
    got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | xargs)
    if [ "$got" != "$expected" ]; then
        echo "'$line': offered '$got', expected '$expected'"
        failed=1
    fi
done << 'CASES'
onyxcast-cfgmigrate -|--help --version -0 -V -h -o -v
onyxcast-cfgmigrate |--help --version -0 -V -h -o -v
onyxcast-cfgmigrate --|--help --version
onyxcast-cfgmigrate -0 st|station.xml stations
onyxcast-cfgmigrate -v -o st|station.xml stations
onyxcast-cfgmigrate -vo st|station.xml stations
onyxcast-cfgmigrate -0 station.xml -|--help --version -0 -V -h -o -v
onyxcast-cfgmigrate -0station.xml st|
onyxcast-cfgmigrate x.xml -|
onyxcast-cfgmigrate -- -|
onyxcast-cfgcheck -|--help --version -V -h -n -p -q -v -x
onyxcast-cfgcheck st|station.xml stations
onyxcast-cfgcheck -q st|station.xml stations
onyxcast-cfgcheck -n |
onyxcast-cfgcheck -qn st|
onyxcast-cfgcheck -n st st|station.xml stations
onyxcast-cfgcheck -n -q -|--help --version -V -h -n -p -q -v -x
onyxcast-cfgcheck station.xml -|-odd.conf
onyxcast-cfgcheck - -|-odd.conf
onyxcast-cfgcheck -- -|-odd.conf
CASES
[ "$failed" = 0 ] && echo "all cases passed"
exit "$failed"
