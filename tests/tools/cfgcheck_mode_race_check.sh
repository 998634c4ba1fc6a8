#!/usr/bin/env bash
# The checker judges the mode of the file it then reads and prints, however
# the path changes meanwhile: with a private file and a world-writable one
# swapped under the path over and over, thousands of checks with -p must
# never accept or print the world-writable one. A checker that looked at
# the path, then opened it again by name, printed it about once in a
# thousand runs.
#
# Usage: tests/tools/cfgcheck_mode_race_check.sh CHECKER SWAPPER
# SWAPPER is swap_files (swap_files.c). Exit status 77 (skipped) where the
# file system cannot exchange two names at once.
set -u
checker=$(realpath "$1")
swapper=$(realpath "$2")
checks=5000

work=$(mktemp -d -t cfgcheck-race.XXXXXX) || exit 1
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# The two files differ in the host name, so that a print shows which one
# was read.
document() {
    printf '<onyxcast>\n  <servers>\n    <server>\n'
    printf '      <hostname>%s</hostname>\n      <password>p</password>\n' "$1"
    printf '    </server>\n  </servers>\n  <streams>\n    <stream><format>MP3</format></stream>\n  </streams>\n</onyxcast>\n'
}
document private.example.org > onyxcast.xml
document world-writable.example.org > other.xml
chmod 600 onyxcast.xml
chmod 666 other.xml

args=()
for ((i = 0; i < checks; i++)); do
    args+=(onyxcast.xml)
done
"$swapper" onyxcast.xml other.xml "$checker" -p "${args[@]}" > out 2> err
status=$?
[ "$status" = 77 ] && { cat err; exit 77; }
if [ "$status" != 0 ] && [ "$status" != 1 ]; then
    echo "the run ended with status $status:"
    tail -5 err
    exit 1
fi

accepted=$(grep -c ': configuration accepted$' err)
refused=$(grep -c ': world writeable$' err)
printed=$(grep -c '^<onyxcast>$' out)
leaked=$(grep -c 'world-writable.example.org' out)
echo "$checks checks: $accepted accepted, $refused refused as world writeable;" \
    "$(grep -o '[0-9]* swaps' err)"
failed=0
if [ "$leaked" != 0 ]; then
    echo "the world-writable file was printed $leaked times"
    failed=1
fi
if [ "$printed" != "$accepted" ]; then
    echo "$printed documents printed for $accepted files accepted"
    failed=1
fi
if [ $((accepted + refused)) != "$checks" ]; then
    echo "checks that were neither accepted nor refused for the mode:"
    grep -v -e ': configuration accepted$' -e ': world writeable$' -e ': world readable$' \
        -e ': group writeable$' -e ': configuration refused$' -e ': hint: ' -e 'swaps$' err |
        head -5
    failed=1
fi
# Both files must have been met, or the swaps did not race with the checks.
if [ "$accepted" = 0 ] || [ "$refused" = 0 ]; then
    echo "the swaps did not race with the checks"
    failed=1
fi
exit "$failed"
