#!/usr/bin/env bash
# Times a release build of onyxcast-cfgmigrate against `xmllint --noout`, which
# parses the same file with the same library and does nothing else, on three
# inputs: the typical file, a full 15-entry re-encoding table, and a file of
# about 10 MB. Prints the ratio of the median wall times over many runs and
# the ratio of instruction counts under callgrind; the bar is 1.2 for both.
#
# Usage: bench/run.sh [-n RUNS] [-g]
#   -n RUNS  timed runs per command and file (default 50)
#   -g       also run the Google Benchmark programs afterwards
set -eu
cd "$(dirname "$0")/.."

runs=50
google=0
while getopts n:g opt; do
    case $opt in
    n) runs=$OPTARG ;;
    g) google=1 ;;
    *) echo "usage: $0 [-n RUNS] [-g]" >&2; exit 2 ;;
    esac
done
bar=1.2

# hyperfine and valgrind are optional: without them the timing falls back to
# a loop and the instruction counts are left out.
need=(cmake ninja-build g++ pkg-config libxml2-dev libxml2-utils libbenchmark-dev)
want=(hyperfine valgrind)
missing=()
for p in "${need[@]}" "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] && [ "$(id -u)" -eq 0 ]; then
    echo "installing ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2 || true
fi

build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DONYX_TESTS=OFF -DONYX_BENCH=ON \
    > /dev/null
cmake --build "$build" --target onyxcast-cfgmigrate make_inputs convert_bench document_bench \
    > /dev/null

tool=$build/onyxcast-cfgmigrate
data=$build/bench-data
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$data"
"$build/bench/make_inputs" "$data"

# Every input must convert cleanly, or the figures would time the failure.
for f in typical full-table large; do
    if ! "$tool" -0 "$data/$f.xml" > /dev/null 2> "$work/err" || [ -s "$work/err" ]; then
        echo "$data/$f.xml does not convert cleanly:" >&2
        head -5 "$work/err" >&2
        exit 1
    fi
done

# Median wall time of a command in seconds.
median_loop() {
    local i t0 t1
    for ((i = 0; i < runs; i++)); do
        t0=$(date +%s%N)
        "$@" > /dev/null
        t1=$(date +%s%N)
        echo $((t1 - t0))
    done | sort -n | awk '{ v[NR] = $1 } END {
        m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%.6f\n", m / 1e9 }'
}

# Prints the medians of the tool and of xmllint, in seconds, on one line.
medians() {
    local file=$1
    if command -v hyperfine > /dev/null; then
        hyperfine -N --style none --warmup 3 --runs "$runs" --output null \
            --export-json "$work/times.json" \
            "$tool -0 $file" "xmllint --noout $file" > /dev/null 2>&1
        grep -o '"median": *[0-9.e+-]*' "$work/times.json" | awk '{ printf "%s ", $2 } END { print "" }'
    else
        echo "$(median_loop "$tool" -0 "$file") $(median_loop xmllint --noout "$file")"
    fi
}

instructions() {
    valgrind --tool=callgrind --callgrind-out-file="$work/cg.out" "$@" > /dev/null 2>&1
    awk '/^(summary|totals):/ { print $2; exit }' "$work/cg.out"
}

have_valgrind=0
command -v valgrind > /dev/null && have_valgrind=1

printf '%-11s %9s | %10s %10s %6s | %14s %14s %6s\n' \
    file bytes "tool ms" "xmllint ms" ratio "tool Ir" "xmllint Ir" ratio
verdict=0
for f in typical full-table large; do
    file=$data/$f.xml
    read -r t_tool t_xml <<< "$(medians "$file")"
    time_ratio=$(awk -v a="$t_tool" -v b="$t_xml" 'BEGIN { printf "%.2f", a / b }')
    ir_tool=- ir_xml=- ir_ratio=-
    if [ $have_valgrind = 1 ]; then
        ir_tool=$(instructions "$tool" -0 "$file")
        ir_xml=$(instructions xmllint --noout "$file")
        ir_ratio=$(awk -v a="$ir_tool" -v b="$ir_xml" 'BEGIN { printf "%.2f", a / b }')
    fi
    printf '%-11s %9d | %10.3f %10.3f %6s | %14s %14s %6s\n' "$f" "$(stat -c %s "$file")" \
        "$(awk -v t="$t_tool" 'BEGIN { print t * 1000 }')" \
        "$(awk -v t="$t_xml" 'BEGIN { print t * 1000 }')" "$time_ratio" \
        "$ir_tool" "$ir_xml" "$ir_ratio"
    for r in "$time_ratio" "$ir_ratio"; do
        [ "$r" = - ] && continue
        awk -v r="$r" -v bar="$bar" 'BEGIN { exit !(r > bar) }' && verdict=1
    done
done
if [ $verdict = 0 ]; then
    echo "within ${bar}x of xmllint --noout on every file"
else
    echo "over ${bar}x of xmllint --noout on at least one file"
fi

if [ $google = 1 ]; then
    "$build/bench/convert_bench"
    "$build/bench/document_bench"
fi
