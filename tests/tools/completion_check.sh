#!/usr/bin/env bash
# The bash completions of both programs, called as bash calls them: each
# file, sourced, registers its function for its command, and the function
# offers options, file names after -0 and -o and for the checker's files,
# nothing after -n, and nothing but files once options have ended. A file
# name is offered whole whatever it holds, matched against the typed word
# with its quoting undone, and nothing typed is ever run.
#
# Usage: tests/tools/completion_check.sh COMPLETIONS_DIR
set -eu
completions=$(realpath "$1")

work=$(mktemp -d -t completion-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir stations hidden odd
touch station.xml notes.txt ./-odd.conf hidden/.profile hidden/shown hidden/Shown
# Names the shell has to quote, in a folder of their own so that the cases
# completing in this one do not meet them.
touch odd/'my station.xml' odd/"it's.xml" odd/'a"b.xml' odd/a.xml \
    odd/'back\slash.xml' odd/$'new\nline.xml' odd/newt.xml \
    odd/'star*.xml' odd/starry.xml odd/'q?.xml' odd/qq.xml odd/'[ab].xml'

failed=0

# Both files carry the same file-name helper, each for when it is the only
# one bash-completion has loaded; a fix made to one copy alone would leave
# the other command completing the old way.
helper_of() {
    bash -c '. "$1" && declare -f _onyxcast_complete_files' _ "$completions/$1" || :
}
migrate_helper=$(helper_of onyxcast-cfgmigrate)
check_helper=$(helper_of onyxcast-cfgcheck)
if [ -z "$migrate_helper" ] || [ "$migrate_helper" != "$check_helper" ]; then
    echo "_onyxcast_complete_files: missing from a file, or the two copies differ"
    failed=1
fi

for program in onyxcast-cfgmigrate onyxcast-cfgcheck; do
    # shellcheck source=/dev/null
    . "$completions/$program"
    registered=$(complete -p "$program")
    [ "$registered" = "complete -F _${program//-/_} $program" ] || {
        echo "$program: registered as: $registered"
        failed=1
    }
done

# The arguments, one per line of the output, sorted and quoted so that a
# blank or a line break inside one shows.
sorted() {
    local -a names=()
    [ $# = 0 ] && return 0
    mapfile -t -d '' names < <(printf '%s\0' "$@" | LC_ALL=C sort -z)
    printf '%q\n' "${names[@]}"
}

# check WORD... offers CANDIDATE...: completing the last WORD, the words
# exactly as bash splits the line (quotes and backslashes still in them),
# offers exactly the CANDIDATEs, in any order.
check() {
    local -a COMP_WORDS=() COMPREPLY=()
    local COMP_CWORD function got want
    while [ "$1" != offers ]; do
        COMP_WORDS+=("$1")
        shift
    done
    shift
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    function=$(complete -p "${COMP_WORDS[0]}" | awk '{ print $3 }')
    "$function"
    got=$(sorted "${COMPREPLY[@]}")
    want=$(sorted "$@")
    if [ "$got" != "$want" ]; then
        printf 'completing %s: offered\n%s\nexpected\n%s\n' \
            "${COMP_WORDS[*]@Q}" "$got" "$want"
        failed=1
    fi
}

# The user's own glob options must reach neither the matching (dotglob would
# show hidden names, failglob break it, nocaseglob add Shown to shown) nor
# come back changed, and no variable may be left behind (but BASH_REMATCH,
# which every [[ =~ ]] sets for the whole shell, whatever is local).
shopt -s dotglob failglob nocaseglob
shell_state() {
    shopt -p
    set +o
    compgen -v | grep -vx BASH_REMATCH
}
line='' expected='' words=() candidates=() word='' shell_before=''
shell_before=$(shell_state)

# WORDS (the line, the word completed last; a trailing blank completes an
# empty word) | EXPECTED (what is offered, blank-separated)
while IFS='|' read -r line expected; do
    [ -n "$line" ] || continue
    read -r -a words <<< "$line"
    [ "${line: -1}" = ' ' ] && words+=('')
    read -r -a candidates <<< "$expected"
    check "${words[@]}" offers "${candidates[@]}"
done << 'CASES'
onyxcast-cfgmigrate -|--help --version -0 -V -h -o -v
onyxcast-cfgmigrate |--help --version -0 -V -h -o -v
onyxcast-cfgmigrate --|--help --version
onyxcast-cfgmigrate -0 st|station.xml stations
onyxcast-cfgmigrate -v -o st|station.xml stations
onyxcast-cfgmigrate -vo st|station.xml stations
onyxcast-cfgmigrate -o -|-odd.conf
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
onyxcast-cfgcheck hidden/|hidden/Shown hidden/shown
onyxcast-cfgcheck hidden/s|hidden/shown
onyxcast-cfgcheck hidden/.|hidden/. hidden/.. hidden/.profile
CASES

# A ~ typed unquoted is the home directory, and stays a ~ in what is offered.
# shellcheck disable=SC2088 # the ~ is the user's typing, not this script's
HOME=$work check onyxcast-cfgcheck '~/st' offers '~/station.xml' '~/stations'
check onyxcast-cfgcheck "'~/st" offers

# The typed word with its quoting undone, whichever way it is quoted, a
# quote still open at the end, and a backslash just typed. Every word here
# is the user's text as typed, so its quotes and $ are meant literally.
cd odd
# shellcheck disable=SC1003
for word in 'my\ ' "'my " '"my ' "my' 's" '"my s"t' "\$'my\\x20" 'my\'; do
    check onyxcast-cfgcheck "$word" offers 'my station.xml'
done
check onyxcast-cfgmigrate -0 'my\ ' offers 'my station.xml'
for word in "it\\'" "\"it'" "\$'it\\'"; do
    check onyxcast-cfgcheck "$word" offers "it's.xml"
done
for word in 'a\"' "'a\"" '"a\"'; do
    check onyxcast-cfgcheck "$word" offers 'a"b.xml'
done
# shellcheck disable=SC1003
for word in 'back\\' "'back\\" '"back\s' '"back\\'; do
    check onyxcast-cfgcheck "$word" offers 'back\slash.xml'
done
# A line break inside a name keeps it one candidate, however it is typed.
check onyxcast-cfgcheck new offers $'new\nline.xml' newt.xml
check onyxcast-cfgmigrate -o new offers $'new\nline.xml' newt.xml
for word in $'\'new\nl' $'"new\nl' "\$'new\\nl" "\$'new\\012l"; do
    check onyxcast-cfgcheck "$word" offers $'new\nline.xml'
done
# Glob characters are only themselves.
check onyxcast-cfgcheck sta offers 'star*.xml' starry.xml
check onyxcast-cfgcheck 'star\*' offers 'star*.xml'
check onyxcast-cfgcheck "'q?" offers 'q?.xml'
check onyxcast-cfgcheck "'[ab]" offers '[ab].xml'
check onyxcast-cfgcheck '\[' offers '[ab].xml'
# Nothing typed is run, whatever the quoting around it.
# shellcheck disable=SC2016
for word in '$(touch pwned)' '"$(touch pwned)' '`touch pwned`' "\$'\\'\$(touch pwned)"; do
    check onyxcast-cfgcheck "$word" offers
done
if [ -e pwned ]; then
    echo "completing ran a command substitution typed on the line"
    failed=1
fi
cd ..

shell_after=$(shell_state)
if [ "$shell_after" != "$shell_before" ]; then
    echo "completing changed the shell's options or left variables:"
    diff <(echo "$shell_before") <(echo "$shell_after") || :
    failed=1
fi

[ "$failed" = 0 ] && echo "all cases passed"
exit "$failed"
