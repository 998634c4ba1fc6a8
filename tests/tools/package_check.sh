#!/usr/bin/env bash
# Builds the Debian package from a build tree, unpacks it with dpkg-deb
# into a temporary folder, and runs both programs from there: the example
# migrated by the packaged migration must be accepted by the packaged
# checker. Checks that the package depends on libxml2 and holds the three
# manual pages.
#
# Usage: tests/tools/package_check.sh CPACK BUILD_DIR EXAMPLE
# Exit 77 (skipped) where the Debian tools are missing.
set -u
cpack=$1
build=$2
example=$3

for tool in dpkg-deb dpkg-shlibdeps; do
    if ! command -v "$tool" > /dev/null; then
        echo "$tool not found (Debian package dpkg-dev): package not checked"
        exit 77
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/package-check.XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() {
    echo "$*"
    exit 1
}

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" > "$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack failed"; }
debs=("$work"/out/*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "expected one package, found: ${debs[*]}"
deb=${debs[0]}

dpkg-deb -f "$deb" Depends | grep -q 'libxml2' ||
    fail "the package does not depend on libxml2: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x failed"
for page in man1/onyxcast-cfgmigrate.1 man1/onyxcast-cfgcheck.1 man5/onyxcast.conf.5; do
    [ -f "$work/root/usr/share/man/$page" ] || fail "the package lacks $page"
done

bin=$work/root/usr/bin
(umask 077 && "$bin/onyxcast-cfgmigrate" -0 "$example" > "$work/new.xml") ||
    fail "the packaged migration failed on $example"
"$bin/onyxcast-cfgcheck" "$work/new.xml" 2> "$work/check.log" ||
    { cat "$work/check.log"; fail "the packaged checker refused the migrated example"; }
grep -q 'new.xml: configuration accepted$' "$work/check.log" ||
    { cat "$work/check.log"; fail "the packaged checker did not say that it accepted the file"; }
echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
