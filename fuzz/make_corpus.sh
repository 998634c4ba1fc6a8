#!/usr/bin/env bash
# Rebuilds the seed corpora of fuzz/corpus/ from the golden command-line
# cases, their shared fixtures and the examples: version-0 inputs for the
# migration, expected documents for the version-1 reader, and a few
# operation sequences for the setters.
# Files the fuzzer found (regressions) are kept: they are named
# regression-*. Usage: fuzz/make_corpus.sh
set -eu
cd "$(dirname "$0")/.."
corpus=fuzz/corpus
max_size=65536

for harness in migrate_fuzzer document_fuzzer setters_fuzzer; do
    mkdir -p "$corpus/$harness"
    find "$corpus/$harness" -type f ! -name 'regression-*' -delete
done

seed() { # HARNESS NAME FILE
    [ -f "$3" ] && [ "$(stat -c %s "$3")" -le "$max_size" ] || return 0
    cp "$3" "$corpus/$1/$2"
}

# The checker's cases repeat documents the corpus has; a copy adds nothing.
seed_new() { # HARNESS NAME FILE
    local sum other
    sum=$(md5sum < "$3")
    for other in "$corpus/$1"/*; do
        [ "$(md5sum < "$other")" = "$sum" ] && return 0
    done
    seed "$@"
}

# Inputs that take the harness a long time stay golden cases only: one
# seed whose entities expand to megabytes ran at 0.26 s an execution under
# the sanitizers, and its mutations as slowly, which held the migration
# harness to 500 executions a second against 3,000 without it.
slow_cases=" hostile-entity-text-too-long "

# Inputs many cases share are kept once, under tests/fixtures and examples/.
for file in tests/fixtures/v0-*.xml examples/*.xml; do
    seed migrate_fuzzer "shared-$(basename "$file")" "$file"
done
for file in tests/fixtures/v1-*.xml; do
    seed document_fuzzer "shared-$(basename "$file")" "$file"
done

# The migration's cases first: the checker's are looked at for new
# documents only.
cases=()
for dir in tests/cli/*/; do
    [ "$(cat "$dir/program" 2>/dev/null)" = onyxcast-cfgcheck ] || cases+=("$dir")
done
for dir in tests/cli/*/; do
    [ "$(cat "$dir/program" 2>/dev/null)" = onyxcast-cfgcheck ] && cases+=("$dir")
done

for dir in "${cases[@]}"; do
    case_name=$(basename "$dir")
    [ "${slow_cases#* "$case_name" }" = "$slow_cases" ] || continue
    # The checker's cases hold version-1 inputs.
    inputs="seed migrate_fuzzer" output=seed
    if [ "$(cat "$dir/program" 2>/dev/null)" = onyxcast-cfgcheck ]; then
        inputs="seed_new document_fuzzer" output=seed_new
    fi
    while IFS= read -r -d '' file; do
        rel=${file#"$dir"}
        case $(basename "$file") in
        args | args0 | argv0 | program | setup | limits | shared | stdin-from | stdout-to | \
            stdout-not-xml | unprivileged | expected.stderr | expected.status | \
            expected.stdout.head | .keep) ;;
        expected.stdout)
            # Help and version texts are no documents.
            [ -f "$dir/stdout-not-xml" ] || $output document_fuzzer "$case_name.xml" "$file"
            ;;
        *) $inputs "$case_name-${rel//[\/ %]/_}" "$file" ;;
        esac
    done < <(find "$dir" -type f -print0)
done

# Setter operations: an operation byte, a length byte, the text. The
# numbers follow the tables of setters_fuzzer.cpp.
op() { printf "\\$(printf %03o "$1")\\$(printf %03o "${#2}")%s" "$2"; }
{
    op 2 streamhost; op 3 8000; op 5 hackme; op 1 HTTPS; op 6 required
    op 13 /stream.ogg; op 17 Ogg; op 18 Ogg; op 19 'Harbour & <Radio>'
    op 28 playlist; op 29 playlist.m3u; op 30 yes
    op 33 'oggdec -o - @T@'; op 34 .ogg; op 32 Ogg
    op 37 'oggenc -'; op 36 Ogg; op 35 Ogg
    op 38 'metadata-helper'; op 39 '@a@ - @t@'; op 40 10; op 41 yes; op 42 no
    op 50 ''
} > "$corpus/setters_fuzzer/full-configuration"
{
    op 46 ''; printf '\003'; op 0 '' ; op 33 'flac -d @T@'; op 34 .flac
    op 46 ''; printf '\003'; op 0 'FLAC'; op 34 .FLAC; op 47 ''; printf '\000'; op 50 ''
} > "$corpus/setters_fuzzer/decoder-extensions"
{
    op 51 '@T@@T@'; op 51 '@T@T@'; op 51 '@s@ @M@ @a@@a@'; op 51 ''
    op 39 '@M@'; op 39 '@T@ @T@'; op 37 '@T@'; op 33 'no track'
} > "$corpus/setters_fuzzer/placeholders"
{
    op 3 0; op 3 65536; op 3 -1; op 3 ' 80'; op 11 4294967296; op 40 -2; op 40 2147483648
    op 16 TRUE; op 16 'yes '; op 30 2
} > "$corpus/setters_fuzzer/numbers-and-words"
{
    printf '\002\377\014\377\022\000\057\000\060\377'
    op 19 $'\001\002 \xff\xfe \r\n ]]> &#0;'
} > "$corpus/setters_fuzzer/null-empty-and-odd-bytes"

du -sh "$corpus"
for harness in migrate_fuzzer document_fuzzer setters_fuzzer; do
    echo "$harness: $(find "$corpus/$harness" -type f | wc -l) files"
done
