#!/usr/bin/env bash
# Builds the Debian package with scripts/package (dpkg-buildpackage and
# debhelper, on a copy of the source tree) and checks the result:
#  - the source tree and its parent folder gain no files;
#  - the package carries the project's version and depends on libxml2;
#  - the compiler gave no warning under the distribution's build flags, and
#    both programs are hardened (PIE, relro, bindnow, fortified functions);
#  - lintian finds no error, no warning and no hardening tag (where lintian
#    is installed: as root it is installed like the other tools);
#  - the package holds what `cmake --install` installs (the three manual
#    pages compressed, the bash completions when the tree has them) and,
#    besides, only its documentation: copyright, whose licence is that of
#    LICENSE, changelog and README;
#  - unpacked, it runs: the example migrated by the packaged migration is
#    accepted by the packaged checker.
#
# Usage: tests/tools/package_check.sh SOURCE_DIR BUILD_DIR CMAKE VERSION EXAMPLE
# Exit 77 (skipped) where the Debian tools are missing and cannot be
# installed (not root).
set -u
src=$1
build=$2
cmake=$3
version=$4
example=$5
package=onyxcast-cfgmigrate

work=$(mktemp -d "${TMPDIR:-/tmp}/package-check.XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() {
    echo "$*"
    exit 1
}

if ! "$src/scripts/deps" package > "$work/deps.log" 2>&1; then
    cat "$work/deps.log"
    [ "$(id -u)" -ne 0 ] && { echo "package not checked"; exit 77; }
    fail "the tools to build the package could not be installed"
fi
if ! command -v lintian > /dev/null && [ "$(id -u)" -eq 0 ]; then
    "$src/scripts/deps" test > "$work/deps.log" 2>&1 ||
        { cat "$work/deps.log"; fail "lintian could not be installed"; }
fi

# What the source tree and its parent hold, but for build folders (this
# build's among them, where the other tests write meanwhile) and version
# control; dpkg-buildpackage left to itself writes into both.
src=$(realpath "$src")
build=$(realpath "$build")
tree_listing() {
    (cd "$src" && find . -path './build*' -prune -o -path "./${build#"$src"/}" -prune -o \
        -path ./.git -prune -o -print | LC_ALL=C sort)
    (cd "$src/.." && find . -maxdepth 1 -name "${package}_*" | LC_ALL=C sort)
}
tree_listing > "$work/tree.before"

"$src/scripts/package" "$work/out" > "$work/package.out" ||
    { cat "$work/package.out"; fail "scripts/package failed"; }
deb=$(cat "$work/package.out")
if [ "$deb" != "$work/out/${package}_${version}_$(dpkg --print-architecture).deb" ] || [ ! -f "$deb" ]; then
    fail "scripts/package did not print the path of the package of version $version: $deb"
fi

tree_listing > "$work/tree.after"
diff "$work/tree.before" "$work/tree.after" > "$work/tree.diff" ||
    { cat "$work/tree.diff"; fail "building the package changed the source tree or its parent"; }

[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] ||
    fail "the package's version $(dpkg-deb -f "$deb" Version) is not the project's $version"
dpkg-deb -f "$deb" Depends | grep -q 'libxml2' ||
    fail "the package does not depend on libxml2: $(dpkg-deb -f "$deb" Depends)"

# The distribution's flags add checks that the project's own builds lack
# (fortified functions warn about unused results).
if grep -E '^[^ ]+:[0-9]+:[0-9]+: warning:' "$work/out/build.log"; then
    fail "the package's build has compiler warnings"
fi

dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x failed"
bin=$work/root/usr/bin
for program in onyxcast-cfgmigrate onyxcast-cfgcheck; do
    [ -x "$bin/$program" ] || fail "the package lacks $program"
    readelf -h -l -d --dyn-syms -W "$bin/$program" > "$work/elf" || fail "readelf $program failed"
    grep -q 'Type: *DYN' "$work/elf" || fail "$program is not a position-independent executable"
    grep -q 'GNU_RELRO' "$work/elf" || fail "$program has no relro segment"
    grep -Eq 'BIND_NOW|FLAGS_1.*NOW' "$work/elf" || fail "$program is not linked with bindnow"
    grep -q '__[a-z_]*_chk' "$work/elf" || fail "$program calls no fortified function"
done

if command -v lintian > /dev/null; then
    # Hardening tags are only informational, so they are looked for apart.
    lintian -I --fail-on error,warning "$deb" > "$work/lintian.log" 2> "$work/lintian.err" ||
        { cat "$work/lintian.log" "$work/lintian.err"; fail "lintian found errors or warnings"; }
    cat "$work/lintian.log"
    if grep -q ' hardening-' "$work/lintian.log"; then
        fail "lintian found the programs unhardened"
    fi
else
    echo "lintian not found (Debian package lintian): lintian not run"
fi

# Everything `cmake --install` installs, compressed or not, and nothing
# else but the package's own documentation (debian/docs).
doc=usr/share/doc/$package
for file in copyright changelog.gz; do
    [ -f "$work/root/$doc/$file" ] || fail "the package lacks /$doc/$file"
done
DESTDIR=$work/installed "$cmake" --install "$build" --prefix /usr > /dev/null ||
    fail "cmake --install failed"
(cd "$work/installed" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort) > "$work/installed.list"
(cd "$work/root" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort) > "$work/packaged.list"
sed 's|\.gz$||' "$work/packaged.list" |
    grep -vx -e "$doc/copyright" -e "$doc/changelog" -e "$doc/README.md" > "$work/packaged.plain"
diff "$work/installed.list" "$work/packaged.plain" > "$work/list.diff" ||
    { cat "$work/list.diff"; fail "the package does not hold what cmake --install installs (<) or more (>)"; }
for page in man1/onyxcast-cfgmigrate.1 man1/onyxcast-cfgcheck.1 man5/onyxcast.conf.5; do
    grep -qx "usr/share/man/$page.gz" "$work/packaged.list" || fail "the package lacks $page.gz"
done
for completion in onyxcast-cfgmigrate onyxcast-cfgcheck; do
    if [ -f "$src/completions/$completion" ]; then
        grep -qx "usr/share/bash-completion/completions/$completion" "$work/packaged.list" ||
            fail "the package lacks the bash completion of $completion"
    fi
done

# The machine-readable copyright grants the terms of LICENSE, word for word.
sed -n '/^Permission/,$p' "$src/LICENSE" > "$work/license.expected"
awk '/^License: /{text = ""; next} /^ /{sub(/^ /, ""); if ($0 == ".") $0 = ""; text = text $0 "\n"} END{printf "%s", text}' \
    "$work/root/$doc/copyright" | sed -n '/^Permission/,$p' > "$work/license.packaged"
diff "$work/license.expected" "$work/license.packaged" ||
    fail "the licence in the package's copyright is not that of LICENSE"

(umask 077 && "$bin/onyxcast-cfgmigrate" -0 "$example" > "$work/new.xml") ||
    fail "the packaged migration failed on $example"
"$bin/onyxcast-cfgcheck" "$work/new.xml" 2> "$work/check.log" ||
    { cat "$work/check.log"; fail "the packaged checker refused the migrated example"; }
grep -q 'new.xml: configuration accepted$' "$work/check.log" ||
    { cat "$work/check.log"; fail "the packaged checker did not say that it accepted the file"; }
echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
