#!/usr/bin/env bash
# The checker where its manual page puts it, each way tried once without
# the real service: the commands are taken from the manual page and from
# the systemd drop-in in examples/, so that what is documented is what is
# run.
#
#   systemd  the drop-in's checker commands (the installed paths swapped
#            for the build's checker and a scratch file) accept a good file
#            and refuse a bad one; the check comes first on reload; the
#            manual page shows the drop-in as it is
#   verify   systemd-analyze verify takes the drop-in, attached to a
#            stand-in unit (skipped where systemd-analyze is missing)
#   ansible  the validate: command, run as Ansible runs it, on a private
#            temporary copy in place of %s
#   ci       the find | xargs line over a folder of good and bad files: the
#            job fails, and the messages name the bad files and no other
#
# Usage: tests/tools/integration_check.sh MODE CHECKER SOURCE_DIR
set -eu
mode=$1
checker=$(realpath "$2")
source_dir=$(realpath "$3")
page=$source_dir/man/onyxcast-cfgcheck.1
dropin=$source_dir/examples/onyxcast.service.d/cfgcheck.conf
good=$source_dir/tests/fixtures/v1-good.xml

work=$(mktemp -d -t integration-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
umask 077
# A misspelt setting: the client would pass it over, the checker refuses.
cp "$good" good.xml
sed 's/<hostname>/<hostnme>/; s/<\/hostname>/<\/hostnme>/' good.xml > bad.xml
mkdir bin
ln -s "$checker" bin/onyxcast-cfgcheck

failed=0
fail() {
    echo "$*"
    failed=1
}
# The literal lines of the manual page's examples that match PATTERN, with
# roff's escapes for "-" and "\" undone.
page_lines() {
    sed -n '/^\.Bd -literal/,/^\.Ed/p' "$page" | grep -E -- "$1" |
        sed -E 's/^[[:space:]]+//; s/\\-/-/g; s/\\e/\\/g'
}
# run_command WANT COMMAND...: COMMAND ends with status WANT.
run_command() {
    local want=$1 status=0
    shift
    "$@" > out 2> err || status=$?
    [ "$status" = "$want" ] || fail "$*: status $status, expected $want: $(cat err)"
}

case $mode in
systemd)
    # Only the settings, without comments, as the page shows them.
    grep -vE '^(#|$)' "$dropin" > dropin.lines
    sed -n '/^\[Service\]$/,/^\.Ed/p' "$page" | sed '$d' > page.lines
    cmp -s dropin.lines page.lines ||
        fail "the manual page shows another drop-in: $(diff dropin.lines page.lines)"
    grep -qx 'ExecReload=' dropin.lines || fail "the drop-in keeps the unit's own ExecReload= first"
    grep -A1 -x 'ExecReload=' dropin.lines | grep -q 'onyxcast-cfgcheck' ||
        fail "the check is not the first command of a reload"
    grep -E '^(ExecStartPre|ExecReload)=.*onyxcast-cfgcheck' dropin.lines | cut -d= -f2- > commands
    [ "$(wc -l < commands)" = 2 ] || fail "expected a checker on start and on reload: $(cat commands)"
    while read -r -a command; do
        [ "${command[0]}" = /usr/bin/onyxcast-cfgcheck ] || fail "not the packaged path: ${command[*]}"
        command[0]=$checker
        for file in good.xml bad.xml; do
            cp "$file" conf.xml
            want=0
            [ "$file" = bad.xml ] && want=1
            run_command "$want" "${command[@]//\/etc\/onyxcast.conf/$work/conf.xml}"
        done
    done < commands
    ;;
verify)
    command -v systemd-analyze > /dev/null ||
        { echo "systemd-analyze not found (Debian package systemd): drop-in not verified"; exit 77; }
    # A stand-in for the client's unit, for the drop-in to attach to.
    mkdir -p units/onyxcast.service.d
    printf '[Unit]\nDescription=stand-in for the client\n\n[Service]\nExecStart=/bin/sleep infinity\nExecReload=/bin/true\n' \
        > units/onyxcast.service
    verify() { # CHECKER_PATH: the messages of systemd-analyze, its status in $status
        sed "s|/usr/bin/onyxcast-cfgcheck|$1|" "$dropin" > units/onyxcast.service.d/cfgcheck.conf
        status=0
        systemd-analyze verify --man=no units/onyxcast.service > verify.log 2>&1 || status=$?
    }
    # Other versions of systemd may say more about the stand-in; nothing
    # may be said about the drop-in.
    verify "$checker"
    if [ "$status" != 0 ] || grep -q cfgcheck verify.log; then
        fail "systemd-analyze verify: status $status: $(cat verify.log)"
    fi
    # Without a checker to run, verify fails: the drop-in was read.
    verify "$work/missing/onyxcast-cfgcheck"
    if [ "$status" = 0 ] || ! grep -q "$work/missing/onyxcast-cfgcheck is not executable" verify.log; then
        fail "the drop-in was not read: status $status: $(cat verify.log)"
    fi
    ;;
ansible)
    validate=$(page_lines '^ *validate: ' | sed 's/^validate: //')
    [ -n "$validate" ] || fail "no validate: line in $page"
    for file in good.xml bad.xml; do
        # Ansible renders into a private temporary file, runs the command
        # with %s replaced and without a shell, and installs only on 0.
        copy=$(mktemp "$work/.ansible_tmpXXXXXX")
        cp "$file" "$copy"
        read -r -a command <<< "${validate//%s/$copy}"
        want=0
        [ "$file" = bad.xml ] && want=1
        PATH=$work/bin:$PATH run_command "$want" "${command[@]}"
        if [ "$want" = 1 ]; then
            grep -q "$copy: configuration refused" err || fail "the refusal does not name the file: $(cat err)"
        elif [ -s err ]; then
            fail "a good file is not checked in silence: $(cat err)"
        fi
    done
    ;;
ci)
    line=$(page_lines 'xargs -0r onyxcast-cfgcheck')
    [ -n "$line" ] || fail "no find | xargs line in $page"
    folder=$(awk '{ print $2 }' <<< "$line")
    # ci_job WANT REFUSED...: the job ends with WANT, and its messages
    # refuse exactly the files REFUSED.
    ci_job() {
        local want=$1 status=0
        shift
        PATH=$work/bin:$PATH sh -c "$line" > out 2> err || status=$?
        [ "$status" = "$want" ] || fail "$line: status $status, expected $want: $(cat err)"
        refused=$(sed -nE 's/^[^ []*\[[0-9]+\]: (.*): configuration refused$/\1/p' err | sort | xargs)
        [ "$refused" = "$*" ] || fail "refused: '$refused', expected '$*': $(cat err)"
    }
    mkdir -p "$folder/relay/my station.conf.d"
    ci_job 0
    cp good.xml "$folder/main.conf"
    cp good.xml "$folder/relay/my station.conf"
    cp bad.xml "$folder/relay/my station.conf.d/notes.txt"
    ci_job 0
    cp bad.xml "$folder/backup.conf"
    cp bad.xml "$folder/relay/typo.conf"
    # xargs: 123 when a run of the checker failed.
    ci_job 123 "$folder/backup.conf" "$folder/relay/typo.conf"
    ;;
*)
    echo "usage: $0 systemd|verify|ansible|ci CHECKER SOURCE_DIR" >&2
    exit 2
    ;;
esac
[ "$failed" = 0 ] && echo "$mode: as the manual page says"
exit "$failed"
