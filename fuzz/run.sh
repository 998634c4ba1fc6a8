#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, in build-fuzz/) and runs one of them for a
# given time on its seed corpus plus the inputs it generates.
#
# Usage: fuzz/run.sh HARNESS SECONDS [LIBFUZZER_OPTION...]
#   HARNESS  migrate_fuzzer, document_fuzzer or setters_fuzzer
#
# New inputs go to build-fuzz/corpus/HARNESS, findings to
# build-fuzz/findings/HARNESS/; the seed corpus in fuzz/corpus/ is only
# read. A finding ends the run with a non-zero status and names the file;
# after fixing its cause, copy it to fuzz/corpus/HARNESS/regression-NAME so
# that every test run replays it. The closing line gives the number of
# executions and the time they took.
set -eu
cd "$(dirname "$0")/.."

if [ $# -lt 2 ]; then
    echo "usage: $0 HARNESS SECONDS [LIBFUZZER_OPTION...]" >&2
    exit 2
fi
harness=$1
seconds=$2
shift 2
case $harness in
migrate_fuzzer | document_fuzzer | setters_fuzzer) ;;
*) echo "$0: unknown harness $harness" >&2; exit 2 ;;
esac

# clang 16 and its fuzzer runtime are not on every machine; as root they
# are installed, anyone else is told what is missing. Older clang cannot
# compile the library: std::source_location of the C++ library here needs
# a builtin that clang has only from version 15 on. The preset `fuzz`
# names the same version.
clang_version=16
if ! command -v "clang++-$clang_version" > /dev/null ||
    ! compgen -G "/usr/lib/llvm-$clang_version/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" \
        > /dev/null
then
    packages="clang-$clang_version libclang-rt-$clang_version-dev"
    if [ "$(id -u)" = 0 ]; then
        echo "installing $packages" >&2
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        # shellcheck disable=SC2086
        apt-get install -y -qq --no-install-recommends $packages >&2
    else
        echo "$0: needs $packages (apt-get install $packages)" >&2
        exit 1
    fi
fi

# The preset `fuzz` of CMakePresets.json: clang, RelWithDebInfo, the
# harnesses without the test suite, in build-fuzz/.
build=build-fuzz
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset fuzz > /dev/null
fi
cmake --build "$build" --target "$harness" > "$build/build-$harness.log" 2>&1 || {
    cat "$build/build-$harness.log" >&2
    exit 1
}

work_corpus=$build/corpus/$harness
findings=$build/findings/$harness
mkdir -p "$work_corpus" "$findings"

log=$build/fuzz-$harness.log
start=$(date +%s.%N)
status=0
"$build/fuzz/$harness" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -dict=fuzz/xml.dict -artifact_prefix="$findings/" -print_final_stats=1 \
    "$@" "$work_corpus" "fuzz/corpus/$harness" > "$log" 2>&1 || status=$?
end=$(date +%s.%N)

runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
if [ "$status" != 0 ]; then
    grep -E '^(==[0-9]+==ERROR|SUMMARY|fuzz check failed|.*runtime error)' "$log" | head -20 >&2 || true
    grep -E 'Test unit written to' "$log" >&2 || true
    echo "$harness: FINDING after ${runs:-?} executions (log: $log)" >&2
    exit "$status"
fi
awk -v h="$harness" -v r="${runs:-0}" -v s="$start" -v e="$end" \
    'BEGIN { printf "%s: %d executions in %.1f s, no finding\n", h, r, e - s }'
